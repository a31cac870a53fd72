#include "CodeLengths.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace lzcodec {

int BuildCodeLengths(std::span<const uint32_t> freq, std::span<uint8_t> lengths) {
  if (freq.size() > kMaxSymbols) throw std::length_error("alphabet too large for a code");
  std::fill(lengths.begin(), lengths.end(), uint8_t{0});
  // Symbols in use, least frequent first and by symbol among equals: frequency and symbol in one
  // key, so that a plain sort gives that order. Everything stays on the stack: the block coders
  // price several candidate blocks for each one they write.
  std::array<uint64_t, kMaxSymbols> keys;
  size_t n = 0;
  for (uint32_t s = 0; s < freq.size(); ++s)
    if (freq[s] != 0) keys[n++] = (uint64_t{freq[s]} << 32) | s;
  if (n < 2) return static_cast<int>(n);
  std::sort(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(n));

  // Two-queue Huffman construction over the sorted leaves: internal nodes are created in
  // non-decreasing weight order, so the smallest two are always at one of the queue fronts.
  std::array<uint64_t, 2 * kMaxSymbols> weight;
  std::array<uint16_t, 2 * kMaxSymbols> parent;
  for (size_t i = 0; i < n; ++i) weight[i] = keys[i] >> 32;
  size_t leaf = 0, node = n, next = n;
  auto takeSmallest = [&]() {
    if (leaf < n && (node >= next || weight[leaf] <= weight[node])) return leaf++;
    return node++;
  };
  for (; next < 2 * n - 1; ++next) {
    const size_t a = takeSmallest();
    const size_t b = takeSmallest();
    weight[next] = weight[a] + weight[b];
    parent[a] = parent[b] = static_cast<uint16_t>(next);
  }
  // Depths from the root down; the root is the last node.
  std::array<uint16_t, 2 * kMaxSymbols> depth;
  depth[2 * n - 2] = 0;
  for (size_t i = 2 * n - 2; i-- > 0;) depth[i] = static_cast<uint16_t>(depth[parent[i]] + 1);

  // Count leaves per length, clamping to the limit, then restore Kraft's equality: each step
  // takes one unit off the sum while keeping the number of leaves.
  std::array<uint32_t, kMaxCodeBits + 1> count{};
  for (size_t i = 0; i < n; ++i) ++count[std::min<uint32_t>(depth[i], kMaxCodeBits)];
  uint64_t kraft = 0;
  for (int l = 1; l <= kMaxCodeBits; ++l) kraft += static_cast<uint64_t>(count[l]) << (kMaxCodeBits - l);
  while (kraft > (uint64_t{1} << kMaxCodeBits)) {
    --count[kMaxCodeBits];
    for (int l = kMaxCodeBits - 1; l > 0; --l) {
      if (count[l] != 0) {
        --count[l];
        count[l + 1] += 2;
        break;
      }
    }
    --kraft;
  }
  // The least frequent leaves take the longest codes.
  size_t i = 0;
  for (int l = kMaxCodeBits; l > 0; --l)
    for (uint32_t c = 0; c < count[l]; ++c) lengths[keys[i++] & 0xFFFFFFFFu] = static_cast<uint8_t>(l);
  return static_cast<int>(n);
}

void MakeCodes(std::span<const uint8_t> lengths, std::span<uint16_t> codes) {
  std::array<uint32_t, kMaxCodeBits + 2> start{};
  std::array<uint32_t, kMaxCodeBits + 1> count{};
  for (uint8_t l : lengths) ++count[l];
  count[0] = 0;
  for (int l = 1; l <= kMaxCodeBits; ++l) start[l + 1] = (start[l] + count[l]) << 1;
  for (size_t s = 0; s < lengths.size(); ++s)
    codes[s] = lengths[s] != 0 ? static_cast<uint16_t>(start[lengths[s]]++) : 0;
}

} // namespace lzcodec
