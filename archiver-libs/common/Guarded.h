// No exception may leave an archiver library: it would abort the host program.
#pragma once

namespace arclib {

// Runs an entry's body; a failure inside (out of memory above all) becomes the entry's
// failure value.
template <typename R, typename F>
R Guarded(R failure, F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

}  // namespace arclib
