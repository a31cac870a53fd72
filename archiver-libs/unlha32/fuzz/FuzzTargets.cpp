// One libFuzzer entry, compiled once per target (see CMakeLists.txt).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "Decoder.h"
#include "LhaHeader.h"

namespace {

class TDiscard final : public unlha::TSink {
 public:
  bool Put(const uint8_t*, size_t) override { return true; }
};

// Bounds the claimed size so that each run stays short; the decoders are bounded by their input
// anyway, but a tiny input may legitimately stand for gigabytes of output.
constexpr uint64_t kMaxOutput = 1 << 22;

// Decodes data as the given method; the first four bytes give the claimed original size.
void DecodeAs(const char* method, const uint8_t* data, size_t size) {
  if (size < 4) return;
  uint64_t original = (data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint64_t>(data[3]) << 24));
  original = std::min(original, kMaxOutput);
  unlha::TMemorySource src({data + 4, size - 4});
  TDiscard sink;
  uint16_t crc = 0;
  unlha::Decode(method, src, 0, size - 4, original, sink, crc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#if defined(UNLHA_FUZZ_HEADER)
  // Walk the header chain the way opening an archive does, and decode each member found.
  unlha::TMemorySource src({data, size});
  auto first = unlha::FindFirstHeader(src, 1 << 20);
  if (!first) return 0;
  uint64_t offset = *first;
  for (int i = 0; i < 1000; ++i) {
    unlha::TLhaMember m;
    uint64_t next = 0;
    if (unlha::ParseHeader(src, offset, m, next) != unlha::EHeader::Ok) break;
    TDiscard sink;
    uint16_t crc = 0;
    unlha::Decode(m.method, src, m.dataOffset, m.packedSize, std::min(m.originalSize, kMaxOutput), sink, crc);
    offset = next;
  }
#elif defined(UNLHA_FUZZ_LH)
  if (size < 1) return 0;
  static const char* kMethods[] = {"-lh4-", "-lh5-", "-lh6-", "-lh7-", "-lhx-"};
  DecodeAs(kMethods[data[0] % 5], data + 1, size - 1);
#elif defined(UNLHA_FUZZ_LH1)
  DecodeAs("-lh1-", data, size);
#elif defined(UNLHA_FUZZ_LZS)
  DecodeAs("-lzs-", data, size);
#elif defined(UNLHA_FUZZ_LZ5)
  DecodeAs("-lz5-", data, size);
#endif
  return 0;
}
