// Static Huffman codes as the LHA block format stores them: code lengths limited to 16 bits,
// canonical codes assigned by increasing length, then by symbol.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace lzcodec {

inline constexpr int kMaxCodeBits = 16;
// Symbols an alphabet may have at most.
inline constexpr size_t kMaxSymbols = 1024;

// Fills lengths[i] for every symbol with freq[i] > 0 (others get 0) and returns the number of
// symbols in use. With fewer than two symbols in use no lengths are assigned: the block format
// stores such a tree as its single symbol.
int BuildCodeLengths(std::span<const uint32_t> freq, std::span<uint8_t> lengths);

// Canonical codes for a complete set of lengths.
void MakeCodes(std::span<const uint8_t> lengths, std::span<uint16_t> codes);

} // namespace lzcodec
