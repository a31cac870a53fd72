#include "Spool.h"

#include "ArchiveWriter.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace unlha {
namespace {

[[noreturn]] void Fail(const char* what, int err) {
  throw EWriteFailed(std::string(what) + ": " + std::strerror(err));
}

// An unnamed file: O_TMPFILE in folder, else a file made and unlinked at once in $TMPDIR
// (file systems without O_TMPFILE). It vanishes with its descriptor, also on a kill.
int AnonymousFile(const std::string& folder) {
  const int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  const char* tmp = std::getenv("TMPDIR");
  std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/.tidekeep-spool.XXXXXX";
  const int fallback = mkostemp(path.data(), O_CLOEXEC);
  if (fallback >= 0) unlink(path.c_str());
  return fallback;
}

} // namespace

TSpool::TSpool(std::string folder, size_t memoryLimit) : FFolder(std::move(folder)), FLimit(memoryLimit) {}

void TSpool::Write(std::span<const uint8_t> bytes) {
  FMemory.insert(FMemory.end(), bytes.begin(), bytes.end());
  if (FMemory.size() > FLimit) Spill();
}

void TSpool::Spill() {
  if (FFile.Get() < 0) {
    FFile = arclib::TFd(AnonymousFile(FFolder));
    if (FFile.Get() < 0) Fail("cannot make a temporary file for packed data", errno);
  }
  size_t done = 0;
  while (done < FMemory.size()) {
    const ssize_t n = pwrite(FFile.Get(), FMemory.data() + done, FMemory.size() - done, static_cast<off_t>(FOnDisk + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("cannot write a temporary file of packed data", n < 0 ? errno : ENOSPC);
    done += static_cast<size_t>(n);
  }
  FOnDisk += FMemory.size();
  FMemory.clear();
}

void TSpool::ReadOut(std::span<uint8_t> buffer, const std::function<void(std::span<const uint8_t>)>& sink) {
  for (uint64_t at = 0; at < FOnDisk;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), FOnDisk - at));
    const ssize_t n = pread(FFile.Get(), buffer.data(), want, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("cannot read back a temporary file of packed data", n < 0 ? errno : EIO);
    sink({buffer.data(), static_cast<size_t>(n)});
    at += static_cast<uint64_t>(n);
  }
  if (!FMemory.empty()) sink(FMemory);
}

} // namespace unlha
