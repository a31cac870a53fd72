// Canonical Huffman codes as the static-Huffman LHA methods define them (codes assigned in
// order of length, then symbol; at most 16 bits), decoded through one lookup table for short
// codes and a canonical walk for the rare long ones.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "BitReader.h"

namespace lzcodec {

class THuffman {
 public:
  // tableBits: the longest lookup table; a code whose codes are all shorter gets a table only
  // as long as its longest code, so that the small blocks of small members are built quickly.
  explicit THuffman(int tableBits) : FMaxTableBits(tableBits), FTableBits(tableBits) {}

  // A code of the given lengths (0 = unused). False when they do not form a complete code.
  bool Build(const uint8_t* lengths, int count);
  // A code with one symbol, which takes no bits.
  void Single(int symbol);

  int Decode(TBitReader& in) {
    uint32_t entry = FTable[in.Peek(FTableBits)];
    int len = static_cast<int>(entry & 0x1F);
    if (len != 0x1F) {
      in.Skip(len);
      return static_cast<int>(entry >> 5);
    }
    return DecodeLong(in);
  }

 private:
  int DecodeLong(TBitReader& in);

  void SizeTable(int bits);

  int FMaxTableBits;
  int FTableBits;
  std::vector<uint32_t> FTable;  // symbol << 5 | length; length 31 = longer than the table
  std::array<uint32_t, 17> FFirst{};  // first code of each length
  std::array<uint32_t, 17> FCount{};
  std::array<uint32_t, 17> FIndex{};  // position of each length's first symbol in FSorted
  std::vector<uint16_t> FSorted;
};

}  // namespace lzcodec
