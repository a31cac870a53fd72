#include "WorkerPool.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace unlha {
namespace {

constexpr unsigned kMaxThreads = 64;
constexpr uint64_t kMemoryPerThread = 32 << 20;

// The I/O priority syscall has no glibc wrapper; these are the kernel's values.
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassBestEffort = 2;
constexpr int kIoprioClassShift = 13;
constexpr int kBackgroundNice = 10;
constexpr int kBackgroundIoLevel = 7;

} // namespace

unsigned WorkerThreads() {
  if (const char* e = std::getenv("TIDEKEEP_LHA_THREADS"); e != nullptr && *e != '\0') {
    unsigned n = 0;
    const char* end = e + std::strlen(e);
    if (const auto [at, ec] = std::from_chars(e, end, n); ec == std::errc() && at == end && n >= 1)
      return std::min(n, kMaxThreads);
  }
  cpu_set_t set;
  unsigned n = sched_getaffinity(0, sizeof set, &set) == 0 ? static_cast<unsigned>(CPU_COUNT(&set))
                                                           : std::thread::hardware_concurrency();
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0)
    n = static_cast<unsigned>(
        std::min<uint64_t>(n, static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / kMemoryPerThread));
  return std::clamp(n, 1u, kMaxThreads);
}

bool BackgroundRequested() {
  const char* bg = std::getenv("TIDEKEEP_BACKGROUND");
  return bg != nullptr && std::string_view(bg) == "1";
}

void LowerOwnPriority() {
  const auto tid = static_cast<id_t>(gettid());
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, tid);
  if (errno == 0 && nice < kBackgroundNice) setpriority(PRIO_PROCESS, tid, kBackgroundNice);
  syscall(SYS_ioprio_set, kIoprioWhoProcess, static_cast<int>(tid),
          (kIoprioClassBestEffort << kIoprioClassShift) | kBackgroundIoLevel);
}

} // namespace unlha
