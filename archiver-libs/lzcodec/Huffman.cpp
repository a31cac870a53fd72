#include "Huffman.h"

#include <algorithm>

namespace lzcodec {

void THuffman::SizeTable(int bits) {
  FTableBits = bits;
  if (FTable.size() < size_t{1} << bits) FTable.resize(size_t{1} << bits);
}

void THuffman::Single(int symbol) {
  SizeTable(1);
  FTable[0] = FTable[1] = static_cast<uint32_t>(symbol) << 5;
}

bool THuffman::Build(const uint8_t* lengths, int count) {
  FCount.fill(0);
  int longest = 1;
  for (int i = 0; i < count; ++i) {
    if (lengths[i] > 16) return false;
    ++FCount[lengths[i]];
    longest = std::max<int>(longest, lengths[i]);
  }
  FCount[0] = 0;
  // Complete code: the lengths exactly fill the code space.
  uint32_t code = 0;
  uint32_t used = 0;
  for (int len = 1; len <= 16; ++len) {
    code = (code + (len > 1 ? FCount[len - 1] : 0)) << 1;
    FFirst[len] = code;
    used += FCount[len] << (16 - len);
  }
  if (used != (1u << 16)) return false;
  // Every entry of the table is written below: the code is complete.
  SizeTable(std::min(longest, FMaxTableBits));
  FIndex[1] = 0;
  for (int len = 2; len <= 16; ++len) FIndex[len] = FIndex[len - 1] + FCount[len - 1];
  FSorted.assign(FIndex[16] + FCount[16], 0);
  std::array<uint32_t, 17> next = FIndex;
  std::array<uint32_t, 17> nextCode = FFirst;
  for (int i = 0; i < count; ++i) {
    int len = lengths[i];
    if (len == 0) continue;
    FSorted[next[len]++] = static_cast<uint16_t>(i);
    uint32_t c = nextCode[len]++;
    if (len <= FTableBits) {
      uint32_t startAt = c << (FTableBits - len);
      uint32_t n = 1u << (FTableBits - len);
      for (uint32_t k = 0; k < n; ++k) FTable[startAt + k] = (static_cast<uint32_t>(i) << 5) | static_cast<uint32_t>(len);
    } else {
      FTable[c >> (len - FTableBits)] = 0x1F;
    }
  }
  return true;
}

int THuffman::DecodeLong(TBitReader& in) {
  uint32_t bits = in.Peek(16);
  for (int len = FTableBits + 1; len <= 16; ++len) {
    uint32_t c = bits >> (16 - len);
    if (c - FFirst[len] < FCount[len]) {
      in.Skip(len);
      return FSorted[FIndex[len] + (c - FFirst[len])];
    }
  }
  return -1;  // unreachable for a complete code; treated as broken data
}

}  // namespace lzcodec
