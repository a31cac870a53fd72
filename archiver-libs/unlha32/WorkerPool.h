// Worker threads for the commands that handle many members: members are handed out in archive
// order and their results taken back in that order, so output, progress and the archive
// written are what one thread would give. Progress, callbacks and cancelling stay with the
// caller, who announces each member as it hands it out; the workers only read and code.
#pragma once
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
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

// An item's work for a worker, and about how many bytes it reads or decodes. Light items go to
// the workers together, several to a job, so that the hand-off (a lock, a wake-up, a switch of
// threads) is paid per batch rather than per item.
template <typename R>
struct TItemWork {
  using TRun = std::function<R(const std::atomic<bool>& stop, unsigned worker)>;
  TRun run;
  uint64_t weight = 0;
};

// The results of one batch, its items in order; when an item threw, what it threw, and the
// items after it did not run.
template <typename R>
struct TBatchResults {
  std::vector<R> done;
  std::exception_ptr error;
};

// The pool that runs batches of items.
template <typename R>
using TBatchPool = TOrderedPool<TBatchResults<R>>;

// A batch is handed out once it holds this many items or this much weight; an item at least
// this heavy goes alone, so that heavy items are worked on side by side.
inline constexpr size_t kBatchItems = 64;
inline constexpr uint64_t kBatchWeight = 256 << 10;

// Items 0, 1, ... through the pool, in order, until announce says there are no more.
// announce(i, work) runs on the caller's thread for item i, in order, before its work is
// handed out (as far ahead as the pool has room), and may set work. finish(i, result) runs on
// the caller's thread in item order, with the work's result or null when item i had none;
// false ends the run early. An item's exception is rethrown when its turn to finish comes.
// Returns false when announce cancelled.
template <typename R, typename Announce, typename Finish>
bool RunInOrder(TBatchPool<R>& pool, EOnCancel onCancel, Announce&& announce, Finish&& finish) {
  using TRun = typename TItemWork<R>::TRun;
  std::deque<bool> hasWork;  // items announced and not yet finished
  std::vector<TRun> gathered; // the work of announced items not yet handed out
  uint64_t gatheredWeight = 0;
  auto handOut = [&] {
    if (gathered.empty()) return;
    pool.Submit([runs = std::move(gathered)](const std::atomic<bool>& stop, unsigned worker) {
      TBatchResults<R> results;
      results.done.reserve(runs.size());
      try {
        for (const TRun& run : runs) {
          if (stop.load(std::memory_order_relaxed)) break; // the pool is going: nobody takes these
          results.done.push_back(run(stop, worker));
        }
      } catch (...) {
        results.error = std::current_exception();
      }
      return results;
    });
    gathered.clear(); // moved from: made empty again for the next batch
    gatheredWeight = 0;
  };
  TBatchResults<R> batch; // the batch whose results are being finished
  size_t taken = 0;       // of batch.done
  size_t ahead = 0;
  bool cancelled = false, ended = false;
  for (size_t i = 0;; ++i) {
    // A batch once begun is filled before the pool is asked for room again.
    while (!cancelled && !ended && (hasWork.empty() || !gathered.empty() || pool.HasRoom())) {
      TItemWork<R> work;
      const EAnnounce a = announce(ahead, work);
      cancelled = a == EAnnounce::Cancel;
      ended = a == EAnnounce::End;
      if (a != EAnnounce::Item) break;
      hasWork.push_back(static_cast<bool>(work.run));
      ++ahead;
      // An item without work closes the batch: announcing runs no further ahead of the
      // finishing than the pool's room allows, whatever follows.
      if (!work.run) {
        handOut();
        continue;
      }
      if (work.weight >= kBatchWeight) handOut();
      gatheredWeight += work.weight;
      gathered.push_back(std::move(work.run));
      if (gathered.size() >= kBatchItems || gatheredWeight >= kBatchWeight) handOut();
    }
    handOut(); // before waiting for any result
    if (hasWork.empty() || (cancelled && onCancel == EOnCancel::Drop)) break;
    const bool had = hasWork.front();
    hasWork.pop_front();
    if (!had) {
      if (!finish(i, static_cast<R*>(nullptr))) break;
      continue;
    }
    while (taken == batch.done.size()) {
      if (batch.error) std::rethrow_exception(batch.error);
      batch = pool.TakeNext();
      taken = 0;
    }
    if (!finish(i, &batch.done[taken++])) break;
  }
  return !cancelled;
}

} // namespace unlha
