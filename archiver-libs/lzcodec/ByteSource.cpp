#include "ByteSource.h"

#include <algorithm>
#include <cstring>

namespace lzcodec {

ptrdiff_t TMemorySource::ReadAt(uint64_t offset, void* buffer, size_t n) const {
  if (offset >= FBytes.size()) return 0;
  size_t k = std::min<uint64_t>(n, FBytes.size() - offset);
  std::memcpy(buffer, FBytes.data() + offset, k);
  return static_cast<ptrdiff_t>(k);
}

}  // namespace lzcodec
