// The exit status of a command run through the shell (popen). A child ended by a signal fails
// the calling test whatever status it expected: no test expects one, and under the sanitizers
// a child that meets a fault ends with SIGABRT, which a test of a failing command would
// otherwise take for the failure it wanted.
#pragma once
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <string_view>

// The command's exit code from pclose's status rc; -1 when the command did not exit.
inline int ShellExitStatus(int rc, std::string_view command) {
  int signal = 0;
  if (WIFSIGNALED(rc)) {
    signal = WTERMSIG(rc);
  } else if (WIFEXITED(rc) && WEXITSTATUS(rc) > 128 && WEXITSTATUS(rc) < 128 + NSIG) {
    signal = WEXITSTATUS(rc) - 128;  // how the shell reports a command that a signal ended
  }
  if (signal != 0) ADD_FAILURE() << "ended by signal " << signal << ": " << command;
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}
