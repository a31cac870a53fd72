// The decoders' output window must give every member the bytes a full window would, whatever
// its size: matches may reach back into the initial fill before the member's first byte, and
// a member shorter than the window keeps only as much history as it has.
#include "WindowOutput.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace lzcodec {
namespace {

class TStringSink final : public TSink {
 public:
  bool Put(const uint8_t* data, size_t n) override {
    text.append(reinterpret_cast<const char*>(data), n);
    return true;
  }
  std::string text;
};

struct TCase {
  size_t history;
  uint64_t total;
};

// Random literals and matches of every reach (into the fill too), against a plain model: the
// fill, then the output, each match copied byte by byte.
TEST(WindowOutput, GivesWhatAFullWindowGivesAtEverySize) {
  const TCase cases[] = {{8192, 1}, {8192, 40}, {8192, 8191}, {8192, 8192}, {4096, 5000}, {4096, 700000}};
  for (const TCase& c : cases) {
    std::mt19937 rng(static_cast<unsigned>(c.history + c.total));
    TStringSink sink;
    TWindowOutput out(sink, c.total, c.history, '#');
    std::string model(c.history, '#');
    while (!out.Done()) {
      if (rng() % 3 == 0) {
        const char ch = static_cast<char>('a' + rng() % 26);
        ASSERT_TRUE(out.Literal(static_cast<uint8_t>(ch)));
        model += ch;
        continue;
      }
      // Short reaches (overlapping runs) as often as long ones, up to the whole window.
      const size_t distance = rng() % 2 ? 1 + rng() % 8 : 1 + rng() % c.history;
      size_t len = 3 + rng() % (TWindowOutput::kMaxMatch - 2);
      ASSERT_TRUE(out.Match(distance, len));
      len = std::min<size_t>(len, c.total - (model.size() - c.history));
      for (size_t k = 0; k < len; ++k) model += model[model.size() - distance];
    }
    ASSERT_TRUE(out.Flush());
    EXPECT_EQ(sink.text, model.substr(c.history)) << "history " << c.history << ", total " << c.total;
  }
}

}  // namespace
}  // namespace lzcodec
