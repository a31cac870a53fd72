// Worker threads for the commands that handle many members: members are handed out in archive
// order and their results taken back in that order, so output, progress and the archive
// written are what one thread would give. Progress, callbacks and cancelling stay with the
// caller, who announces each member as it hands it out; the workers only read and code.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace unlha {

// How many workers a command uses: TIDEKEEP_LHA_THREADS when set (1 to 64), else one per
// processor this process may run on, at most one per 32 MiB of memory.
unsigned WorkerThreads();
// Whether TIDEKEEP_BACKGROUND=1 is set: workers then run at lower CPU and I/O priority.
bool BackgroundRequested();
// Lowers the calling thread's own priority: nice 10 (a higher nice is kept) and best-effort
// I/O level 7.
void LowerOwnPriority();

template <typename R>
class TOrderedPool {
public:
  // Runs on a worker: stop turns true when the pool is dropped (a cancel or a failure); worker
  // is the running worker's number, below the worker count, for state kept per worker.
  using TJob = std::function<R(const std::atomic<bool>& stop, unsigned worker)>;

  // At most capacity jobs are handed out and not yet taken. With TIDEKEEP_BACKGROUND=1 set now,
  // every worker lowers its own priority; the caller's thread keeps its own.
  TOrderedPool(unsigned threads, size_t capacity) : FCapacity(std::max<size_t>(capacity, 1)) {
    const bool background = BackgroundRequested();
    try {
      for (unsigned i = 0; i < std::max(threads, 1u); ++i)
        FWorkers.emplace_back([this, background, i] { Work(background, i); });
    } catch (const std::system_error&) { // out of threads: fewer workers do, none cannot
      if (FWorkers.empty()) throw;
    }
  }
  // Stops the workers (a job that watches stop ends early; its result is dropped) and waits.
  ~TOrderedPool() {
    {
      const std::lock_guard lock(FLock);
      FStop = true;
    }
    FWorkReady.notify_all();
    for (auto& t : FWorkers) t.join();
  }
  TOrderedPool(const TOrderedPool&) = delete;
  TOrderedPool& operator=(const TOrderedPool&) = delete;

  size_t Workers() const { return FWorkers.size(); }
  bool HasRoom() const {
    const std::lock_guard lock(FLock);
    return FJobs.size() < FCapacity;
  }
  void Submit(TJob job) {
    {
      const std::lock_guard lock(FLock);
      FJobs.emplace_back().job = std::move(job);
    }
    FWorkReady.notify_one();
  }
  // The result of the oldest job submitted and not yet taken, once done; rethrows what it threw.
  R TakeNext() {
    std::unique_lock lock(FLock);
    FJobDone.wait(lock, [&] { return CallerDue(); });
    TSlot slot = std::move(FJobs.front());
    FJobs.pop_front();
    --FNextToStart;
    lock.unlock();
    if (slot.error) std::rethrow_exception(slot.error);
    return std::move(*slot.result);
  }

private:
  struct TSlot {
    TJob job;
    bool done = false;
    std::optional<R> result;
    std::exception_ptr error;
  };

  void Work(bool background, unsigned worker) {
    if (background) LowerOwnPriority();
    std::unique_lock lock(FLock);
    for (;;) {
      FWorkReady.wait(lock, [&] { return FStop || FNextToStart < FJobs.size(); });
      if (FStop) return;
      // Slots leave the front only once done, so this one stays where it is.
      TSlot& slot = FJobs[FNextToStart++];
      lock.unlock();
      std::optional<R> result;
      std::exception_ptr error;
      try {
        result.emplace(slot.job(FStop, worker));
      } catch (...) {
        error = std::current_exception();
      }
      lock.lock();
      slot.result = std::move(result);
      slot.error = error;
      slot.done = true;
      if (CallerDue()) FJobDone.notify_one();
    }
  }

  // Whether the caller, waiting for the oldest result, should wake: once it is done and the
  // workers are down to half the jobs handed out, so that it takes results and hands out work
  // in batches rather than waking (and displacing a worker) for every member.
  bool CallerDue() const { return FJobs.front().done && FJobs.size() - FNextToStart <= FCapacity / 2; }

  size_t FCapacity;
  mutable std::mutex FLock;
  std::condition_variable FWorkReady, FJobDone;
  std::deque<TSlot> FJobs; // submitted and not yet taken, oldest first
  size_t FNextToStart = 0; // index into FJobs of the first job no worker has begun
  std::atomic<bool> FStop{false};
  std::vector<std::thread> FWorkers;
};

// What a run does with the items announced before a cancel: a test reports them, as its
// caller has heard of them; a pack drops them with the archive it was writing.
enum class EOnCancel { FinishAnnounced, Drop };

// What announcing an item gave: an item to finish later, a cancel, or no more items.
enum class EAnnounce { Item, Cancel, End };

// Items 0, 1, ... through the pool, in order, until announce says there are no more.
// announce(i, job) runs on the caller's thread as item i is handed out (as far ahead as the
// pool has room), and may set job to work for a worker. finish(i, result) runs on the caller's
// thread in item order, with the job's result or null when item i had none; false ends the run
// early. Returns false when announce cancelled.
template <typename R, typename Announce, typename Finish>
bool RunInOrder(TOrderedPool<R>& pool, EOnCancel onCancel, Announce&& announce, Finish&& finish) {
  std::deque<bool> hasJob; // items announced and not yet finished
  size_t ahead = 0;
  bool cancelled = false, ended = false;
  for (size_t i = 0;; ++i) {
    while (!cancelled && !ended && (hasJob.empty() || pool.HasRoom())) {
      typename TOrderedPool<R>::TJob job;
      const EAnnounce a = announce(ahead, job);
      cancelled = a == EAnnounce::Cancel;
      ended = a == EAnnounce::End;
      if (a != EAnnounce::Item) break;
      hasJob.push_back(static_cast<bool>(job));
      if (job) pool.Submit(std::move(job));
      ++ahead;
    }
    if (hasJob.empty() || (cancelled && onCancel == EOnCancel::Drop)) break;
    const bool had = hasJob.front();
    hasJob.pop_front();
    if (had) {
      R result = pool.TakeNext();
      if (!finish(i, &result)) break;
    } else if (!finish(i, static_cast<R*>(nullptr))) {
      break;
    }
  }
  return !cancelled;
}

} // namespace unlha
