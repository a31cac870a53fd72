// How the program tells the archiver libraries that a run is a background one: their worker
// threads then lower their own CPU (nice 10) and I/O priority (best effort, lowest). Both are per
// thread on Linux, so the program's own thread keeps its priority, which an ordinary user could
// not raise again. The libraries read the variable when a command starts its workers.
#pragma once

namespace platform {

inline constexpr char kBackgroundVariable[] = "TIDEKEEP_BACKGROUND";

// Sets TIDEKEEP_BACKGROUND=1 for a background run and removes it for one the user waits for;
// removes it again when it goes. Lives on the program's thread, around the library calls only:
// no library thread reads the environment while it changes.
class TBackgroundRun {
 public:
  explicit TBackgroundRun(bool background);
  ~TBackgroundRun();
  TBackgroundRun(const TBackgroundRun&) = delete;
  TBackgroundRun& operator=(const TBackgroundRun&) = delete;
};

}  // namespace platform
