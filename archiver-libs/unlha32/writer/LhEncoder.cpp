#include "LhEncoder.h"

#include "BitWriter.h"
#include "CodeLengths.h"
#include "MatchFinder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace unlha {

using lzcodec::BuildCodeLengths;
using lzcodec::MakeCodes;
using lzcodec::TBitWriter;
using lzcodec::TMatchFinder;

std::string_view MethodId(TLhMethod method) {
  switch (method) {
  case TLhMethod::lh0: return "-lh0-";
  case TLhMethod::lh5: return "-lh5-";
  case TLhMethod::lh6: return "-lh6-";
  case TLhMethod::lh7: return "-lh7-";
  }
  return "-lh0-";
}

namespace {

constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 256;
// Literal/length alphabet: 256 literals, then lengths 3..256.
constexpr int kNC = 256 + kMaxMatch - kMinMatch + 1;
constexpr int kCBit = 9;
// Alphabet of the tree that codes the literal/length code lengths.
constexpr int kNT = 19;
constexpr int kTBit = 5;
// Lookahead kept in the window before a position is coded: a full match plus the lazy step.
constexpr int kMinLookahead = kMaxMatch + kMinMatch + 1;
// A match of the minimum length further away than this costs more than three literals.
constexpr uint32_t kTooFar = 4096;
// Symbols gathered before they are cut into blocks, and the smallest block worth its own trees.
constexpr size_t kBufferSymbols = 16384;
constexpr size_t kMinBlockSymbols = 512;

struct TMethodParams {
  int dictBits;
  int np;   // position tree alphabet
  int pbit; // bits of its symbol count
  int hashBits;
  int maxChain;
  int goodLength; // a previous match this long shortens the search
  int niceLength; // a match this long ends the search
  int maxLazy;    // a previous match this long is taken without looking further
};

TMethodParams ParamsOf(TLhMethod method) {
  switch (method) {
  case TLhMethod::lh5: return {13, 14, 4, 15, 128, 32, 256, 256};
  case TLhMethod::lh6: return {15, 16, 5, 16, 192, 32, 256, 256};
  case TLhMethod::lh7: return {16, 17, 5, 16, 256, 32, 256, 256};
  case TLhMethod::lh0: break;
  }
  throw std::invalid_argument("method without an encoder");
}

inline int PositionCode(uint32_t p) { return p == 0 ? 0 : std::bit_width(p); }

} // namespace

struct TLhEncoder::TImpl {
  TMethodParams P;
  TByteSink Sink;
  TMatchFinder Finder;

  // Lazy matching state carried between calls.
  uint32_t MatchLen = kMinMatch - 1;
  uint32_t MatchDist = 0;
  bool MatchAvailable = false;

  // The current block.
  std::vector<uint16_t> Codes;
  std::vector<uint16_t> Positions;
  TBitWriter Bits;
  uint64_t Output = 0;
  bool Finished = false;

  TImpl(TLhMethod method, TByteSink sink)
      : P(ParamsOf(method)), Sink(std::move(sink)),
        // Any distance within the window: the decoders' ring buffer holds a whole window.
        Finder({P.dictBits, (1u << P.dictBits) - 1, kMaxMatch, kMinLookahead, P.hashBits, P.maxChain,
                P.goodLength, P.niceLength}) {
    Codes.reserve(kBufferSymbols);
    Positions.reserve(kBufferSymbols);
  }

  void Literal(uint8_t c) {
    Codes.push_back(c);
    Positions.push_back(0);
    if (Codes.size() == kBufferSymbols) SendBlock();
  }

  void Match(uint32_t len, uint32_t dist) {
    const auto c = static_cast<uint16_t>(256 + len - kMinMatch);
    const auto p = static_cast<uint16_t>(dist - 1);
    Codes.push_back(c);
    Positions.push_back(p);
    if (Codes.size() == kBufferSymbols) SendBlock();
  }

  // Codes positions up to the lookahead limit, or to the end when flushing.
  void Compress(bool flush) {
    for (;;) {
      const uint32_t lookahead = Finder.Lookahead();
      if (lookahead < kMinLookahead && !flush) return;
      if (lookahead == 0) break;
      const uint32_t cand = lookahead >= kMinMatch ? Finder.InsertCurrent() : 0;
      const uint32_t prevLen = MatchLen;
      const uint32_t prevDist = MatchDist;
      MatchLen = kMinMatch - 1;
      if (cand != 0 && prevLen < static_cast<uint32_t>(P.maxLazy) && Finder.Distance(cand) <= Finder.MaxDistance()) {
        uint32_t dist = 0;
        const uint32_t len = Finder.LongestMatch(cand, prevLen, dist);
        if (len > prevLen && !(len == kMinMatch && dist > kTooFar)) {
          MatchLen = len;
          MatchDist = dist;
        }
      }
      if (prevLen >= kMinMatch && MatchLen <= prevLen) {
        Match(prevLen, prevDist);
        // The match began one position back; the current one is linked already.
        Finder.Skip(prevLen - 1);
        MatchAvailable = false;
        MatchLen = kMinMatch - 1;
      } else if (MatchAvailable) {
        Literal(Finder.Previous());
        Finder.Skip(1);
      } else {
        MatchAvailable = true;
        Finder.Skip(1);
      }
    }
    if (MatchAvailable) {
      Literal(Finder.Previous());
      MatchAvailable = false;
    }
  }

  void Write(std::span<const uint8_t> data) {
    while (!data.empty()) {
      data = data.subspan(Finder.Fill(data));
      Compress(false);
    }
  }

  void Finish() {
    if (Finished) return;
    Compress(true);
    if (!Codes.empty()) SendBlock();
    Bits.Flush();
    Drain();
    Finished = true;
  }

  void Drain() {
    auto& out = Bits.Bytes();
    if (out.empty()) return;
    Output += out.size();
    Sink(out);
    out.clear();
  }

  // A tree's lengths as the format writes them: a symbol count, then each length in 3 bits, or
  // for 7 and more as 7 followed by a unary tail; after the third length of the code-length
  // tree, 2 bits count the zero lengths that follow.
  template <typename Put> static void PtLengths(std::span<const uint8_t> len, int nbit, int special, Put&& put) {
    int n = static_cast<int>(len.size());
    while (n > 0 && len[n - 1] == 0) --n;
    put(nbit, static_cast<uint32_t>(n));
    int i = 0;
    while (i < n) {
      const int k = len[i++];
      if (k <= 6)
        put(3, static_cast<uint32_t>(k));
      else
        put(k - 3, (1u << (k - 3)) - 2);
      if (i == special) {
        int z = 0;
        while (z < 3 && i + z < n && len[i + z] == 0) ++z;
        put(2, static_cast<uint32_t>(z));
        i += z;
      }
    }
  }

  // Literal/length lengths, coded with the code-length tree; runs of zero lengths use the
  // tree's symbols 0 (one), 1 (3 to 18, 4 more bits) and 2 (20 up, 9 more bits).
  template <typename F> static void ForEachCLengthToken(std::span<const uint8_t> cLen, int n, F emit) {
    int i = 0;
    while (i < n) {
      const int k = cLen[i++];
      if (k != 0) {
        emit(k + 2, 0, 0);
        continue;
      }
      int run = 1;
      while (i < n && cLen[i] == 0) {
        ++i;
        ++run;
      }
      if (run <= 2) {
        for (int r = 0; r < run; ++r) emit(0, 0, 0);
      } else if (run <= 18) {
        emit(1, 4, run - 3);
      } else if (run == 19) {
        emit(0, 0, 0);
        emit(1, 4, 15);
      } else {
        emit(2, kCBit, run - 20);
      }
    }
  }

  struct TFreqs {
    std::array<uint32_t, kNC> c{};
    std::array<uint32_t, 32> p{};
  };

  TFreqs Count(size_t begin, size_t end) const {
    TFreqs f;
    for (size_t i = begin; i < end; ++i) {
      ++f.c[Codes[i]];
      if (Codes[i] >= 256) ++f.p[static_cast<size_t>(PositionCode(Positions[i]))];
    }
    return f;
  }

  // Symbols [begin, end) as one block: the symbol count, the three trees, the codes. put(n, v)
  // receives every bit field, so the same walk writes a block or measures it.
  template <typename Put> void CodeBlock(size_t begin, size_t end, const TFreqs& f, Put&& put) const {
    std::array<uint8_t, kNC> cLen{};
    std::array<uint16_t, kNC> cCode{};
    std::array<uint8_t, kNT> tLen{};
    std::array<uint16_t, kNT> tCode{};
    std::array<uint8_t, 32> pLen{};
    std::array<uint16_t, 32> pCode{};
    auto onlySymbol = [](std::span<const uint32_t> freq) {
      const auto it = std::find_if(freq.begin(), freq.end(), [](uint32_t x) { return x != 0; });
      return it == freq.end() ? 0u : static_cast<uint32_t>(it - freq.begin());
    };

    put(16, static_cast<uint32_t>(end - begin));
    if (BuildCodeLengths(f.c, cLen) >= 2) {
      MakeCodes(cLen, cCode);
      int n = kNC;
      while (n > 0 && cLen[n - 1] == 0) --n;
      std::array<uint32_t, kNT> tFreq{};
      ForEachCLengthToken(cLen, n, [&](int t, int, int) { ++tFreq[t]; });
      if (BuildCodeLengths(tFreq, tLen) >= 2) {
        MakeCodes(tLen, tCode);
        PtLengths(tLen, kTBit, 3, put);
      } else {
        put(kTBit, 0);
        put(kTBit, onlySymbol(tFreq));
      }
      put(kCBit, static_cast<uint32_t>(n));
      ForEachCLengthToken(cLen, n, [&](int t, int extraBits, int extra) {
        put(tLen[t], tCode[t]);
        if (extraBits != 0) put(extraBits, static_cast<uint32_t>(extra));
      });
    } else {
      put(kTBit, 0);
      put(kTBit, 0);
      put(kCBit, 0);
      put(kCBit, onlySymbol(f.c));
    }
    const std::span<const uint32_t> pFreq(f.p.data(), static_cast<size_t>(P.np));
    const std::span<uint8_t> pLens(pLen.data(), static_cast<size_t>(P.np));
    if (BuildCodeLengths(pFreq, pLens) >= 2) {
      MakeCodes(pLens, pCode);
      PtLengths(pLens, P.pbit, -1, put);
    } else {
      put(P.pbit, 0);
      put(P.pbit, onlySymbol(pFreq));
    }

    for (size_t i = begin; i < end; ++i) {
      const uint16_t c = Codes[i];
      put(cLen[c], cCode[c]);
      if (c >= 256) {
        const uint32_t p = Positions[i];
        const int k = PositionCode(p);
        put(pLen[static_cast<size_t>(k)], pCode[static_cast<size_t>(k)]);
        if (k > 1) put(k - 1, p - (1u << (k - 1)));
      }
    }
  }

  uint64_t BlockBits(size_t begin, size_t end, const TFreqs& f) const {
    uint64_t bits = 0;
    CodeBlock(begin, end, f, [&](int n, uint32_t) { bits += static_cast<uint64_t>(n); });
    return bits;
  }

  // Cuts a stretch of symbols at the best of its quarter points while two blocks with trees of
  // their own come out smaller than one, then each part the same way.
  void SplitAndSend(size_t begin, size_t end, const TFreqs& f) {
    if (end - begin >= 2 * kMinBlockSymbols) {
      uint64_t best = BlockBits(begin, end, f);
      size_t cut = 0;
      TFreqs bestLeft, bestRight;
      for (size_t q = 1; q < 4; ++q) {
        const size_t mid = begin + (end - begin) * q / 4;
        if (mid - begin < kMinBlockSymbols || end - mid < kMinBlockSymbols) continue;
        const TFreqs left = Count(begin, mid);
        TFreqs right = f;
        for (size_t c = 0; c < right.c.size(); ++c) right.c[c] -= left.c[c];
        for (size_t k = 0; k < right.p.size(); ++k) right.p[k] -= left.p[k];
        const uint64_t bits = BlockBits(begin, mid, left) + BlockBits(mid, end, right);
        if (bits < best) {
          best = bits;
          cut = mid;
          bestLeft = left;
          bestRight = right;
        }
      }
      if (cut != 0) {
        SplitAndSend(begin, cut, bestLeft);
        SplitAndSend(cut, end, bestRight);
        return;
      }
    }
    CodeBlock(begin, end, f, [&](int n, uint32_t v) { Bits.Put(n, v); });
  }

  void SendBlock() {
    SplitAndSend(0, Codes.size(), Count(0, Codes.size()));
    Codes.clear();
    Positions.clear();
    Drain();
  }
};

TLhEncoder::TLhEncoder(TLhMethod method, TByteSink sink) : FImpl(std::make_unique<TImpl>(method, std::move(sink))) {}
TLhEncoder::~TLhEncoder() = default;
void TLhEncoder::Write(std::span<const uint8_t> data) { FImpl->Write(data); }
void TLhEncoder::Finish() { FImpl->Finish(); }
uint64_t TLhEncoder::OutputSize() const { return FImpl->Output + FImpl->Bits.Bytes().size(); }

} // namespace unlha
