// Code lengths must form a complete prefix code within 16 bits whatever the frequencies, or
// the peers reject the block.
#include "CodeLengths.h"

#include <gtest/gtest.h>

#include <vector>

namespace lzcodec {
namespace {

uint64_t KraftSum(const std::vector<uint8_t>& len) {
  uint64_t sum = 0;
  for (uint8_t l : len)
    if (l != 0) sum += uint64_t{1} << (kMaxCodeBits - l);
  return sum;
}

struct TCase {
  const char* what;
  std::vector<uint32_t> freq;
};

std::vector<TCase> Cases() {
  std::vector<uint32_t> fib(40);
  fib[0] = fib[1] = 1;
  for (size_t i = 2; i < fib.size(); ++i) fib[i] = fib[i - 1] + fib[i - 2]; // depth 39 unlimited
  std::vector<uint32_t> flat(510, 7);
  std::vector<uint32_t> sparse(510, 0);
  sparse[3] = 1;
  sparse[500] = 1000000;
  std::vector<uint32_t> powers(30);
  for (size_t i = 0; i < powers.size(); ++i) powers[i] = 1u << i;
  return {{"fibonacci", fib}, {"flat", flat}, {"two symbols", sparse}, {"powers of two", powers}};
}

TEST(CodeLengths, CompleteAndWithinSixteenBits) {
  for (const auto& c : Cases()) {
    std::vector<uint8_t> len(c.freq.size());
    const int used = BuildCodeLengths(c.freq, len);
    EXPECT_GE(used, 2) << c.what;
    EXPECT_EQ(KraftSum(len), uint64_t{1} << kMaxCodeBits) << c.what;
    for (size_t s = 0; s < len.size(); ++s) {
      EXPECT_LE(len[s], kMaxCodeBits) << c.what;
      EXPECT_EQ(len[s] != 0, c.freq[s] != 0) << c.what << " symbol " << s;
    }
    // A more frequent symbol never gets a longer code.
    for (size_t a = 0; a < len.size(); ++a)
      for (size_t b = 0; b < len.size(); ++b)
        if (c.freq[a] > c.freq[b] && c.freq[b] != 0) {
          EXPECT_LE(len[a], len[b]) << c.what;
        }
  }
}

TEST(CodeLengths, SingleOrNoSymbolAssignsNothing) {
  std::vector<uint32_t> one(19, 0);
  one[7] = 5;
  std::vector<uint8_t> len(19, 9);
  EXPECT_EQ(BuildCodeLengths(one, len), 1);
  EXPECT_EQ(KraftSum(len), 0u);
  std::vector<uint32_t> none(19, 0);
  EXPECT_EQ(BuildCodeLengths(none, len), 0);
}

TEST(CodeLengths, CanonicalCodesAreOrderedByLengthThenSymbol) {
  const std::vector<uint8_t> len = {3, 3, 3, 3, 3, 2, 4, 4};
  std::vector<uint16_t> code(len.size());
  MakeCodes(len, code);
  EXPECT_EQ(code, (std::vector<uint16_t>{0b010, 0b011, 0b100, 0b101, 0b110, 0b00, 0b1110, 0b1111}));
}

} // namespace
} // namespace lzcodec
