#include "BackgroundRun.h"

#include <cstdlib>

namespace platform {

TBackgroundRun::TBackgroundRun(bool background) {
  if (background) {
    setenv(kBackgroundVariable, "1", 1);
  } else {
    unsetenv(kBackgroundVariable);
  }
}

TBackgroundRun::~TBackgroundRun() { unsetenv(kBackgroundVariable); }

}  // namespace platform
