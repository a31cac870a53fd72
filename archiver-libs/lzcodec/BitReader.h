// Input of the decoders: a byte range of a source, read in blocks (no larger than the range),
// and an MSB-first bit buffer over it. Past the end it yields zero bits and counts them, so a decoder can tell
// data that ends too early from data that merely peeks ahead.
#pragma once
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ByteSource.h"

namespace lzcodec {

class TBitReader {
 public:
  TBitReader(const TByteSource& src, uint64_t offset, uint64_t size)
      : FSrc(src), FOffset(offset), FLeft(size), FBlock(static_cast<size_t>(std::min<uint64_t>(size, kBlock)) + 8) {}

  // Peeks n bits (1 to 32) without consuming them.
  uint32_t Peek(int n) {
    if (FCount < n) Refill();
    return static_cast<uint32_t>(FBits >> (64 - n));
  }
  void Skip(int n) {
    if (FCount < n) Refill();
    FBits <<= n;
    FCount -= n;
  }
  uint32_t Bits(int n) {
    if (n == 0) return 0;
    uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  // A whole byte when the reader is byte-aligned (byte-oriented methods).
  int Byte() { return static_cast<int>(Bits(8)); }

  // Bytes read beyond the end of the range; a few are normal look-ahead.
  uint64_t Overrun() const { return FOverrun; }
  bool Failed() const { return FFailed; }

 private:
  static constexpr size_t kBlock = 64 * 1024;

  void Refill() {
    while (FCount <= 56) {
      if (FPos == FEnd && !Load()) {
        // Beyond the end: zero bits, counted.
        FOverrun += (64 - static_cast<uint64_t>(FCount)) / 8;
        FCount = 64;
        return;
      }
      if (FEnd - FPos >= 8) {
        uint64_t v;
        std::memcpy(&v, &FBlock[FPos], 8);
        if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
        FBits |= v >> FCount;
        size_t bytes = static_cast<size_t>(64 - FCount) >> 3;
        FPos += bytes;
        FCount += static_cast<int>(bytes) * 8;
        // The bits of the next byte already ORed in below FCount are the same ones the next
        // load will put there, so the overlap is harmless.
      } else {
        FBits |= static_cast<uint64_t>(FBlock[FPos++]) << (56 - FCount);
        FCount += 8;
      }
    }
  }

  bool Load() {
    if (FLeft == 0 || FFailed) return false;
    size_t want = static_cast<size_t>(FLeft < kBlock ? FLeft : kBlock);
    ptrdiff_t got = FSrc.ReadAt(FOffset, FBlock.data(), want);
    if (got <= 0) {
      FFailed = got < 0;
      FLeft = 0;
      return false;
    }
    FOffset += static_cast<uint64_t>(got);
    FLeft -= static_cast<uint64_t>(got);
    std::memset(FBlock.data() + got, 0, 8);
    FPos = 0;
    FEnd = static_cast<size_t>(got);
    return true;
  }

  const TByteSource& FSrc;
  uint64_t FOffset;
  uint64_t FLeft;
  std::vector<uint8_t> FBlock;
  size_t FPos = 0;
  size_t FEnd = 0;
  uint64_t FBits = 0;
  int FCount = 0;
  uint64_t FOverrun = 0;
  bool FFailed = false;
};

}  // namespace lzcodec
