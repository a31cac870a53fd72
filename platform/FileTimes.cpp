#include "FileTimes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <unordered_map>

#include "LocaleFormats.h"

namespace platform {

namespace {
// 100 ns ticks between 1601-01-01 and 1970-01-01.
constexpr long long kEpochDelta = 116444736000000000LL;
constexpr long long kTicksPerSecond = 10000000LL;
constexpr long long kSecondsPerDay = 86400;

// The instant of the local midnight that begins day t, when every second of that day is
// midnight's instant plus its time of day: the UTC offset is the same at its first and last
// second. Nothing for a day on which the offset changes.
std::optional<long long> PlainDayStart(const LocalDateTime& t) {
  const long long start = ToUnixTime({t.year, t.month, t.day, 0, 0, 0});
  const auto first = static_cast<std::time_t>(start);
  const auto last = static_cast<std::time_t>(start + kSecondsPerDay - 1);
  std::tm a{}, b{};
  if (localtime_r(&first, &a) == nullptr || localtime_r(&last, &b) == nullptr) return std::nullopt;
  if (a.tm_gmtoff != b.tm_gmtoff || a.tm_mday != t.day || a.tm_hour != 0 || a.tm_min != 0 || a.tm_sec != 0) {
    return std::nullopt;
  }
  return start;
}

// A local time's instant, as ToUnixTime gives it. mktime asks the time zone afresh at every
// call (with glibc a status call on /etc/localtime each time), which dominated listing a large
// archive; here each day is asked once. What was learnt is dropped when TZ or the clock's second
// changes, so a change of the system's zone is seen about as soon as mktime would see it.
long long LocalToUnix(const LocalDateTime& t) {
  thread_local std::time_t learntAt = 0;
  thread_local std::string learntZone;
  thread_local std::unordered_map<int, std::optional<long long>> days;
  const char* zone = std::getenv("TZ");
  const std::string_view zoneNow = zone != nullptr ? zone : "";
  if (const std::time_t now = std::time(nullptr); now != learntAt || zoneNow != learntZone) {
    days.clear();
    learntAt = now;
    learntZone = zoneNow;
  }
  auto [day, added] = days.try_emplace((t.year * 16 + t.month) * 32 + t.day);
  if (added) day->second = PlainDayStart(t);
  if (!day->second) return ToUnixTime(t);
  return *day->second + t.hour * 3600 + t.minute * 60 + t.second;
}
}  // namespace

FILETIME UnixToFileTime(long long seconds, long nanoseconds) {
  return static_cast<FILETIME>(seconds * kTicksPerSecond + nanoseconds / 100 + kEpochDelta);
}

long long FileTimeToUnix(FILETIME time) {
  return (static_cast<long long>(time) - kEpochDelta) / kTicksPerSecond;
}

std::optional<FILETIME> DosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime) {
  if (dosDate == 0 && dosTime == 0) return FILETIME{0};
  LocalDateTime t;
  t.year = 1980 + (dosDate >> 9);
  t.month = (dosDate >> 5) & 0x0F;
  t.day = dosDate & 0x1F;
  t.hour = dosTime >> 11;
  t.minute = (dosTime >> 5) & 0x3F;
  t.second = (dosTime & 0x1F) * 2;
  if (!IsValidDate(t.year, t.month, t.day) || t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
  return UnixToFileTime(LocalToUnix(t));
}

std::optional<TEntryStat> StatEntryAt(int dirFd, const char* name) {
  struct statx sx{};
  if (statx(dirFd, name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return std::nullopt;
  TEntryStat entry;
  entry.Mode = sx.stx_mode;
  TFileTimes& times = entry.Times;
  times.LastWrite = UnixToFileTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  times.LastAccess = UnixToFileTime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
  times.Creation = (sx.stx_mask & STATX_BTIME) != 0 ? UnixToFileTime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec)
                                                    : times.LastWrite;
  return entry;
}

std::optional<TFileTimes> GetFileTimes(std::string_view path) {
  const auto entry = StatEntryAt(AT_FDCWD, std::string(path).c_str());
  if (!entry) return std::nullopt;
  return entry->Times;
}

bool SetFileTimes(std::string_view path, const TFileTimes& times) {
  auto toSpec = [](FILETIME t) {
    const long long ticks = static_cast<long long>(t) - kEpochDelta;
    timespec ts{};
    ts.tv_sec = ticks / kTicksPerSecond;
    ts.tv_nsec = (ticks % kTicksPerSecond) * 100;
    if (ts.tv_nsec < 0) {
      ts.tv_nsec += 1000000000L;
      --ts.tv_sec;
    }
    return ts;
  };
  const timespec stamps[2] = {toSpec(times.LastAccess), toSpec(times.LastWrite)};
  return utimensat(AT_FDCWD, std::string(path).c_str(), stamps, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace platform
