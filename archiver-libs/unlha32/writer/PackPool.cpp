#include "PackPool.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <system_error>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace unlha {
namespace {

constexpr unsigned kMaxThreads = 64;
// Members submitted ahead per worker: enough that workers rarely wait for a long member at the
// head to be written; bounded so that open files and memory stay small.
constexpr size_t kAheadPerThread = 16;
constexpr size_t kMaxAhead = 128;
// Packed data held in memory by all members waiting for their turn; beyond each one's share it
// goes to an anonymous file.
constexpr size_t kQueueMemory = 64 << 20;
constexpr size_t kMinMemoryPerMember = 256 << 10;
// What one worker may need at most (encoder, read buffer, its share of the queue), to bound
// the worker count by the machine's memory.
constexpr uint64_t kMemoryPerThread = 32 << 20;

// The I/O priority syscall has no glibc wrapper; these are the kernel's values.
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassBestEffort = 2;
constexpr int kIoprioClassShift = 13;

void LowerOwnPriority() {
  const auto tid = static_cast<id_t>(gettid());
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, tid);
  if (errno == 0 && nice < 10) setpriority(PRIO_PROCESS, tid, 10);
  syscall(SYS_ioprio_set, kIoprioWhoProcess, static_cast<int>(tid), (kIoprioClassBestEffort << kIoprioClassShift) | 7);
}

} // namespace

unsigned PackThreads() {
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
    n = static_cast<unsigned>(std::min<uint64_t>(n, static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / kMemoryPerThread));
  return std::clamp(n, 1u, kMaxThreads);
}

TPackPool::TPackPool(TLhMethod method, std::string spoolFolder, unsigned threads)
    : FMethod(method), FCapacity(std::min(kMaxAhead, kAheadPerThread * std::max(threads, 1u))) {
  FSpool.folder = std::move(spoolFolder);
  FSpool.memoryLimit = std::max(kMinMemoryPerMember, kQueueMemory / FCapacity);
  const char* bg = std::getenv("TIDEKEEP_BACKGROUND");
  const bool background = bg != nullptr && std::string_view(bg) == "1";
  try {
    for (unsigned i = 0; i < std::max(threads, 1u); ++i) FWorkers.emplace_back([this, background] { Work(background); });
  } catch (const std::system_error&) { // out of threads: fewer workers do, none cannot
    if (FWorkers.empty()) throw;
  }
}

TPackPool::~TPackPool() {
  {
    const std::lock_guard lock(FLock);
    FStop = true;
  }
  FWorkReady.notify_all();
  for (auto& t : FWorkers) t.join();
}

bool TPackPool::HasRoom() const {
  const std::lock_guard lock(FLock);
  return FJobs.size() < FCapacity;
}

void TPackPool::Submit(std::string storedName, std::string path) {
  {
    const std::lock_guard lock(FLock);
    TJob& job = FJobs.emplace_back();
    job.storedName = std::move(storedName);
    job.path = std::move(path);
  }
  FWorkReady.notify_one();
}

TPackedMember TPackPool::TakeNext() {
  std::unique_lock lock(FLock);
  FJobDone.wait(lock, [&] { return FJobs.front().done; });
  TJob job = std::move(FJobs.front());
  FJobs.pop_front();
  --FNextToStart;
  lock.unlock();
  if (job.error) std::rethrow_exception(job.error);
  return std::move(job.result);
}

void TPackPool::Work(bool background) {
  if (background) LowerOwnPriority();
  std::unique_lock lock(FLock);
  for (;;) {
    FWorkReady.wait(lock, [&] { return FStop || FNextToStart < FJobs.size(); });
    if (FStop) return;
    // Jobs are only taken from the front once done, so this one stays where it is.
    TJob& job = FJobs[FNextToStart++];
    lock.unlock();
    TPackedMember result;
    std::exception_ptr error;
    try {
      result = PackMember(job.storedName, job.path, FMethod, FSpool, &FStop);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    job.result = std::move(result);
    job.error = error;
    job.done = true;
    FJobDone.notify_all();
  }
}

} // namespace unlha
