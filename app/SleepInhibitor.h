// The desktop's sleep inhibitor (logind) held while a backup runs, so that a laptop does not
// suspend halfway through an archive.
#pragma once
#include <string>
#include <string_view>

// A "block" inhibitor, not a "delay" one: a delay holds the sleep for InhibitDelayMaxSec (five
// seconds by default), far too short to finish an archive; a block holds it until released.
// Without a system bus or logind the run goes on without one and Problem() says why.
class TSleepInhibitor {
 public:
  explicit TSleepInhibitor(std::string_view why);
  // Closing the descriptor releases the inhibitor.
  ~TSleepInhibitor();
  TSleepInhibitor(const TSleepInhibitor&) = delete;
  TSleepInhibitor& operator=(const TSleepInhibitor&) = delete;

  bool Held() const { return FFd >= 0; }
  // Why it is not held; empty when it is.
  const std::string& Problem() const { return FProblem; }

 private:
  int FFd = -1;
  std::string FProblem;
};
