// Output of the encoders: bits go out most significant first, as the decoders read them.
#pragma once
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace lzcodec {

class TBitWriter {
 public:
  // n (0 to 32) low bits of value.
  void Put(int n, uint32_t value) {
    FAcc = (FAcc << n) | value;
    FBits += n;
    if (FBits >= 32) {
      FBits -= 32;
      uint32_t w = static_cast<uint32_t>(FAcc >> FBits);
      if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap32(w);
      // A word per call at most: the buffer is grown ahead rather than checked per byte.
      if (FOut.size() - FSize < 4) FOut.resize(FOut.size() * 2 + 64);
      std::memcpy(FOut.data() + FSize, &w, 4);
      FSize += 4;
    }
  }
  // Pads to a byte boundary with zero bits.
  void Flush() {
    while (FBits > 0) {
      const int n = FBits >= 8 ? 8 : FBits;
      FBits -= n;
      if (FOut.size() == FSize) FOut.resize(FOut.size() * 2 + 64);
      FOut[FSize++] = static_cast<uint8_t>((FAcc >> FBits) << (8 - n));
    }
  }
  // Whole bytes so far; the caller takes them and then clears them.
  std::span<const uint8_t> Bytes() const { return {FOut.data(), FSize}; }
  void Clear() { FSize = 0; }
  // Starts over for new output, keeping the buffer.
  void Reset() {
    FAcc = 0;
    FBits = 0;
    FSize = 0;
  }

 private:
  uint64_t FAcc = 0;
  int FBits = 0;
  std::vector<uint8_t> FOut;
  size_t FSize = 0; // bytes of FOut written
};

}  // namespace lzcodec
