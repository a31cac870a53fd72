// Worker threads that pack members while the caller writes the archive: members are submitted
// in archive order and taken back in that order, so the archive is byte for byte the one a
// single thread would write. Progress, callbacks and cancelling stay with the caller, who
// submits (announcing each member first) and takes; the workers only read and encode.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ArchiveWriter.h"

namespace unlha {

// How many workers a pack uses: TIDEKEEP_LHA_THREADS when set (1 to 64), else one per
// processor this process may run on, as far as memory allows.
unsigned PackThreads();

class TPackPool {
public:
  // With TIDEKEEP_BACKGROUND=1 in the environment now, every worker lowers its own CPU and I/O
  // priority (nice 10, best-effort I/O level 7); the caller's thread keeps its own.
  TPackPool(TLhMethod method, std::string spoolFolder, unsigned threads);
  // Stops the workers (a member being packed is dropped at its next chunk) and waits for them.
  ~TPackPool();
  TPackPool(const TPackPool&) = delete;
  TPackPool& operator=(const TPackPool&) = delete;

  // Whether another member may be submitted: the members submitted and not yet taken are
  // bounded, and so is the memory their packed data holds.
  bool HasRoom() const;
  void Submit(std::string storedName, std::string path);
  // The oldest member submitted and not yet taken, once packed; rethrows what packing threw.
  TPackedMember TakeNext();

private:
  struct TJob {
    std::string storedName, path;
    bool done = false;
    TPackedMember result;
    std::exception_ptr error;
  };
  void Work(bool background);

  TLhMethod FMethod;
  TSpoolPlace FSpool;
  size_t FCapacity;
  mutable std::mutex FLock;
  std::condition_variable FWorkReady, FJobDone;
  std::deque<TJob> FJobs;   // submitted and not yet taken, oldest first
  size_t FNextToStart = 0;  // index into FJobs of the first job no worker has begun
  std::atomic<bool> FStop{false};
  std::vector<std::thread> FWorkers;
};

} // namespace unlha
