#include "ReadHook.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <utility>

namespace {

std::atomic<bool> gArmed{false};
dev_t gDev = 0;
ino_t gIno = 0;
std::function<void()> gAction;

using TRead = ssize_t (*)(int, void*, size_t);

} // namespace

namespace unlha::test {

void AfterFirstRead(dev_t dev, ino_t ino, std::function<void()> action) {
  gDev = dev;
  gIno = ino;
  gAction = std::move(action);
  gArmed = true;
}

} // namespace unlha::test

// Defined in the program, this read() is the one the statically linked writer calls.
extern "C" ssize_t read(int fd, void* buf, size_t count) {
  static const auto real = reinterpret_cast<TRead>(dlsym(RTLD_NEXT, "read"));
  const ssize_t n = real(fd, buf, count);
  struct stat st{};
  if (n > 0 && gArmed && fstat(fd, &st) == 0 && st.st_dev == gDev && st.st_ino == gIno && gArmed.exchange(false))
    std::exchange(gAction, nullptr)();
  return n;
}
