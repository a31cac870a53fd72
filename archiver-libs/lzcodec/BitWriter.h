// Output of the encoders: bits go out most significant first, as the decoders read them.
#pragma once
#include <cstdint>
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
      const uint32_t w = static_cast<uint32_t>(FAcc >> FBits);
      const uint8_t bytes[4] = {static_cast<uint8_t>(w >> 24), static_cast<uint8_t>(w >> 16),
                                static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)};
      FOut.insert(FOut.end(), bytes, bytes + 4);
    }
  }
  // Pads to a byte boundary with zero bits.
  void Flush() {
    while (FBits >= 8) {
      FBits -= 8;
      FOut.push_back(static_cast<uint8_t>(FAcc >> FBits));
    }
    if (FBits > 0) {
      FOut.push_back(static_cast<uint8_t>(FAcc << (8 - FBits)));
      FBits = 0;
    }
  }
  // Whole bytes so far; the caller takes them and clears the vector.
  std::vector<uint8_t>& Bytes() { return FOut; }
  const std::vector<uint8_t>& Bytes() const { return FOut; }

 private:
  uint64_t FAcc = 0;
  int FBits = 0;
  std::vector<uint8_t> FOut;
};

}  // namespace lzcodec
