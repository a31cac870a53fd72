// A seam in read(2) for the writer tests: the test program's own read() passes every call on,
// and once armed runs an action right after the first chunk read from one file, so a test can
// change a file while the library is in the middle of reading it, at a known point.
#pragma once
#include <sys/types.h>

#include <functional>

namespace unlha::test {

// Runs action once, after the first successful read() of the file dev/ino; disarms itself.
void AfterFirstRead(dev_t dev, ino_t ino, std::function<void()> action);

} // namespace unlha::test
