#include "ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace lzcodec {

ptrdiff_t TMemorySource::ReadAt(uint64_t offset, void* buffer, size_t n) const {
  if (offset >= FBytes.size() || n == 0) return 0;
  size_t k = std::min<uint64_t>(n, FBytes.size() - offset);
  std::memcpy(buffer, FBytes.data() + offset, k);
  return static_cast<ptrdiff_t>(k);
}

std::unique_ptr<TFileSource> TFileSource::Open(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<TFileSource>(new TFileSource(fd, static_cast<uint64_t>(st.st_size)));
}

TFileSource::~TFileSource() { ::close(FFd); }

ptrdiff_t TFileSource::ReadAt(uint64_t offset, void* buffer, size_t n) const {
  if (n == 0) return 0;  // an empty buffer may be null
  if (n > kWindow / 4) return ReadDirect(offset, buffer, n);
  if (offset < FWindowOffset || offset + n > FWindowOffset + FWindow.size()) {
    FWindow.resize(kWindow);
    ptrdiff_t got = ReadDirect(offset, FWindow.data(), kWindow);
    FWindow.resize(got < 0 ? 0 : static_cast<size_t>(got));
    FWindowOffset = offset;
    if (got < 0) return -1;
  }
  const size_t count = std::min(n, FWindow.size() - static_cast<size_t>(offset - FWindowOffset));
  std::memcpy(buffer, FWindow.data() + (offset - FWindowOffset), count);
  return static_cast<ptrdiff_t>(count);
}

ptrdiff_t TFileSource::ReadDirect(uint64_t offset, void* buffer, size_t n) const {
  size_t done = 0;
  auto* p = static_cast<char*>(buffer);
  while (done < n) {
    ssize_t r = ::pread(FFd, p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  return static_cast<ptrdiff_t>(done);
}

}  // namespace lzcodec
