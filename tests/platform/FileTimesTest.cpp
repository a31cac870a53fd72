// MS-DOS stamps to file times: the same instant as the C library's own conversion of the local
// time, on ordinary days and on days when the zone's offset changes (by an hour, at midnight, by
// half an hour).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "FileTimes.h"
#include "LocaleFormats.h"

namespace {

using platform::LocalDateTime;

// TZ set for the test's lifetime, the previous value (or none) back afterwards.
class TZone {
 public:
  explicit TZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) FOld = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TZone() {
    if (FOld) {
      setenv("TZ", FOld->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  TZone(const TZone&) = delete;
  TZone& operator=(const TZone&) = delete;

 private:
  std::optional<std::string> FOld;
};

std::uint16_t DosDate(int year, int month, int day) {
  return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
std::uint16_t DosTime(int hour, int minute, int second) {
  return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

class DosStampZoneTest : public ::testing::TestWithParam<const char*> {};

TEST_P(DosStampZoneTest, EveryDayFrom1980To2040MatchesTheLibrarysConversion) {
  const std::string name = GetParam();
  if (name != "UTC0" && !std::filesystem::exists("/usr/share/zoneinfo/" + name)) GTEST_SKIP() << "no tzdata for " << name;
  const TZone zone(GetParam());
  constexpr int kTimes[][3] = {{0, 0, 0}, {0, 30, 0}, {1, 59, 58}, {2, 15, 0}, {2, 45, 30}, {3, 0, 0}, {23, 59, 58}};
  int mismatches = 0;
  for (int year = 1980; year <= 2040; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= 31; ++day) {
        if (!platform::IsValidDate(year, month, day)) continue;
        for (const auto& [hour, minute, second] : kTimes) {
          const LocalDateTime t{year, month, day, hour, minute, second};
          const std::optional<platform::FILETIME> got =
              platform::DosDateTimeToFileTime(DosDate(year, month, day), DosTime(hour, minute, second));
          ASSERT_TRUE(got.has_value());
          const platform::FILETIME want = platform::UnixToFileTime(platform::ToUnixTime(t));
          if (*got != want && ++mismatches <= 5) {
            ADD_FAILURE() << GetParam() << " " << year << "-" << month << "-" << day << " " << hour << ":" << minute
                          << ":" << second << ": " << *got << " instead of " << want;
          }
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Berlin: an hour at 02:00 / 03:00; Sao Paulo: at midnight (until 2019); Lord Howe: half an hour.
INSTANTIATE_TEST_SUITE_P(Zones, DosStampZoneTest,
                         ::testing::Values("UTC0", "Europe/Berlin", "America/Sao_Paulo", "Australia/Lord_Howe"));

TEST(DosStampTest, ZeroWordsAndImpossibleStamps) {
  EXPECT_EQ(platform::DosDateTimeToFileTime(0, 0), platform::FILETIME{0});
  EXPECT_FALSE(platform::DosDateTimeToFileTime(DosDate(2010, 2, 30), DosTime(12, 0, 0)));
  EXPECT_FALSE(platform::DosDateTimeToFileTime(DosDate(2010, 6, 17), DosTime(24, 0, 0)));
}

}  // namespace
