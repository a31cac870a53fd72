// The encoders against our own block decoder, over inputs that reach the parsers' corners: empty
// and one-byte input, runs longer than the longest match, data that does not shrink, matches
// at the window's far end, and input long enough to cross parse chunks and blocks. Output must
// depend on the input alone, not on how it was handed in. The peers read the same methods in
// ArchiveWriterTest.
#include "LhEncoder.h"
#include "BlockDecoder.h"
#include "PeerTools.h"

#include <gtest/gtest.h>

#include <thread>

namespace unlha {
namespace {

using namespace unlha::test;

struct TMethodCase {
  TLhMethod method;
  const char* id;
  int np;
  uint32_t window;
};

const TMethodCase kMethods[] = {{TLhMethod::lh5, "-lh5-", 14, 8192},
                                {TLhMethod::lh6, "-lh6-", 16, 32768},
                                {TLhMethod::lh7, "-lh7-", 17, 65536}};

std::vector<uint8_t> Encode(TLhMethod method, std::span<const uint8_t> data, size_t piece) {
  std::vector<uint8_t> out;
  TLhEncoder enc(method, [&](std::span<const uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); });
  while (!data.empty()) {
    const size_t n = std::min(piece, data.size());
    enc.Write(data.first(n));
    data = data.subspan(n);
  }
  enc.Finish();
  EXPECT_EQ(enc.OutputSize(), out.size());
  return out;
}

class TCollect final : public lzcodec::TSink {
public:
  bool Put(const uint8_t* data, size_t n) override {
    Bytes.insert(Bytes.end(), data, data + n);
    return true;
  }
  std::vector<uint8_t> Bytes;
};

std::vector<uint8_t> Decode(const TMethodCase& m, const std::vector<uint8_t>& packed, size_t size) {
  lzcodec::TMemorySource src(packed);
  lzcodec::TBitReader in(src, 0, packed.size());
  TCollect sink;
  lzcodec::TWindowOutput out(sink, size);
  const auto r = lzcodec::DecodeBlocks(m.np, m.np <= 15 ? 4 : 5, in, out);
  EXPECT_EQ(r, lzcodec::EDecode::Ok) << m.id;
  return sink.Bytes;
}

std::vector<uint8_t> Text(size_t n, uint32_t seed) {
  static const char* const kWords[] = {"static ", "const ", "int ", "return ", "struct ", "void ", "(", ");\n",
                                       "{\n", "}\n", "uint32_t ", "#define ", "size ", "= ", "0x", "\t"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) s += rng() % 5 == 0 ? std::to_string(rng() % 100000) + " " : kWords[rng() % 16];
  s.resize(n);
  return {s.begin(), s.end()};
}

// Random data repeated after a period: shrinks only when the window reaches back that far.
std::vector<uint8_t> Periodic(uint32_t period, int times) {
  const auto unit = RandomBytes(period, period);
  std::vector<uint8_t> v;
  for (int k = 0; k < times; ++k) v.insert(v.end(), unit.begin(), unit.end());
  return v;
}

struct TInput {
  std::string name;
  std::vector<uint8_t> bytes;
};

std::vector<TInput> Inputs() {
  std::vector<TInput> in;
  in.push_back({"empty", {}});
  in.push_back({"one byte", {'x'}});
  in.push_back({"three bytes", {'a', 'a', 'a'}});
  in.push_back({"run", std::vector<uint8_t>(300000, 'a')});
  in.push_back({"random", RandomBytes(100000, 3)});
  in.push_back({"text over many chunks and blocks", Text(700000, 5)});
  for (uint32_t period : {8191u, 32767u, 65535u}) in.push_back({"period " + std::to_string(period), Periodic(period, 3)});
  // Runs and random stretches alternating: long matches end inside parse chunks and blocks.
  auto mixed = RandomBytes(400000, 7);
  for (size_t i = 0; i < mixed.size(); i += 33000) std::fill_n(mixed.begin() + static_cast<long>(i), 1000 + i % 5000, uint8_t{0});
  in.push_back({"runs and noise", mixed});
  return in;
}

TEST(LhEncoder, EveryInputDecodesBackAndDoesNotDependOnItsPieces) {
  for (const auto& [name, bytes] : Inputs()) {
    for (const auto& m : kMethods) {
      const auto packed = Encode(m.method, bytes, bytes.size() + 1);
      EXPECT_EQ(Decode(m, packed, bytes.size()), bytes) << name << " " << m.id;
      EXPECT_EQ(Encode(m.method, bytes, 7919), packed) << name << " " << m.id << ": written in pieces";
      EXPECT_EQ(Encode(m.method, bytes, bytes.size() + 1), packed) << name << " " << m.id << ": again";
    }
  }
}

// Each thread reuses its encoders' tables from one input to the next: an input packs to the same
// bytes after others as on a thread that never packed anything.
TEST(LhEncoder, OutputDoesNotDependOnWhatTheThreadPackedBefore) {
  const auto inputs = Inputs();
  for (const auto& m : kMethods) {
    for (const auto& [name, bytes] : inputs) Encode(m.method, bytes, bytes.size() + 1);
    for (const auto& [name, bytes] : inputs) {
      std::vector<uint8_t> fresh;
      std::thread([&, &bytes = bytes] { fresh = Encode(m.method, bytes, bytes.size() + 1); }).join();
      EXPECT_EQ(Encode(m.method, bytes, bytes.size() + 1), fresh) << name << " " << m.id;
    }
  }
}

// Each method finds the repeats its window reaches, up to a distance of a whole window less one.
TEST(LhEncoder, MatchesReachTheWindowsFarEnd) {
  for (const auto& m : kMethods) {
    const auto bytes = Periodic(m.window - 1, 4);
    const auto packed = Encode(m.method, bytes, bytes.size());
    EXPECT_LT(packed.size(), bytes.size() / 3) << m.id;
    EXPECT_EQ(Decode(m, packed, bytes.size()), bytes) << m.id;
  }
}

// The larger windows' parse is chosen for size: on text it comes out smaller than -lh5-'s.
TEST(LhEncoder, LargerWindowsPackTextSmaller) {
  const auto bytes = Text(300000, 11);
  const auto lh5 = Encode(TLhMethod::lh5, bytes, bytes.size()).size();
  const auto lh6 = Encode(TLhMethod::lh6, bytes, bytes.size()).size();
  const auto lh7 = Encode(TLhMethod::lh7, bytes, bytes.size()).size();
  EXPECT_LT(lh6, lh5);
  EXPECT_LE(lh7, lh6);
}

} // namespace
} // namespace unlha
