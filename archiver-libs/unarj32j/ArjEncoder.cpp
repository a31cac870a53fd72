#include "ArjEncoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <vector>

#include "BitWriter.h"
#include "CodeLengths.h"
#include "MatchFinder.h"

namespace unarj {
namespace {

constexpr uint32_t kMinMatch = lzcodec::TMatchFinder::kMinMatch;
constexpr uint32_t kMaxMatch = 256;
constexpr int kNC = 256 + kMaxMatch - kMinMatch + 1;  // literals, then lengths 3..256
constexpr int kNT = 19;                                 // code-length code
constexpr int kTBit = 5;
constexpr int kCBit = 9;
constexpr int kNP = 17;  // position code
constexpr int kPBit = 5;
// ARJ's decoders keep a 26624-byte window; stay clear of its edge.
constexpr uint32_t kMaxDistance = 26624 - 512;
constexpr size_t kBlockSymbols = 16 * 1024;

lzcodec::TMatchFinder::TParams FinderParams() {
  return {{15, kMaxDistance, kMaxMatch, kMaxMatch + kMinMatch + 1, 15}, 128, 32, 256};
}

int PositionCode(uint32_t p) { return std::bit_width(p); }

}  // namespace

struct TArjEncoder::TImpl {
  TByteSink Sink;
  lzcodec::TMatchFinder Finder{FinderParams()};
  lzcodec::TBitWriter Bits;
  std::vector<uint16_t> Codes;      // literal or 256 + length - 3
  std::vector<uint16_t> Distances;  // distance - 1 of each match
  uint32_t PendingLen = 0;          // lazy parse: a match found one position back
  uint32_t PendingDist = 0;
  bool HavePrevious = false;        // the byte one position back is not coded yet
  uint64_t Packed = 0;
  bool Failed = false;

  explicit TImpl(TByteSink sink) : Sink(std::move(sink)) {}

  void Emit(uint16_t code, uint16_t dist) {
    Codes.push_back(code);
    Distances.push_back(dist);
    if (Codes.size() == kBlockSymbols) SendBlock();
  }

  void Compress(bool flush) {
    for (;;) {
      const uint32_t ahead = Finder.Lookahead();
      if (ahead == 0 || (ahead < kMaxMatch + kMinMatch + 1 && !flush)) break;
      const uint32_t cand = ahead >= kMinMatch ? Finder.InsertCurrent() : 0;
      uint32_t len = 0, dist = 0;
      if (ahead >= kMinMatch) len = Finder.LongestMatch(cand, kMinMatch - 1, dist);
      if (len < kMinMatch) len = 0;
      if (PendingLen != 0 && len <= PendingLen) {
        // The match one position back is at least as good: take it.
        Emit(static_cast<uint16_t>(256 + PendingLen - kMinMatch), static_cast<uint16_t>(PendingDist - 1));
        Finder.Skip(PendingLen - 1);
        PendingLen = 0;
        HavePrevious = false;
        continue;
      }
      if (HavePrevious) Emit(Finder.Previous(), 0);
      PendingLen = len;
      PendingDist = dist;
      HavePrevious = true;
      Finder.Skip(1);
    }
    if (flush && HavePrevious) {
      if (PendingLen != 0) {
        Emit(static_cast<uint16_t>(256 + PendingLen - kMinMatch), static_cast<uint16_t>(PendingDist - 1));
      } else {
        Emit(Finder.Previous(), 0);
      }
      HavePrevious = false;
      PendingLen = 0;
    }
  }

  // Code lengths of a tree as the block stores them: a count, then 3 bits per length (7 and
  // more as 7 and a unary tail); after the third length of the code-length tree, 2 bits of
  // zero lengths skipped.
  void PutTreeLengths(std::span<const uint8_t> len, int countBits, int special) {
    size_t n = len.size();
    while (n > 0 && len[n - 1] == 0) --n;
    Bits.Put(countBits, static_cast<uint32_t>(n));
    for (size_t i = 0; i < n;) {
      const int k = len[i++];
      if (k <= 6) Bits.Put(3, static_cast<uint32_t>(k));
      else Bits.Put(k - 3, (1u << (k - 3)) - 2);
      if (static_cast<int>(i) == special) {
        uint32_t zeros = 0;
        while (zeros < 3 && i < n && len[i] == 0) ++zeros, ++i;
        Bits.Put(2, zeros);
      }
    }
  }

  // The literal/length lengths as code-length symbols: 0 one zero, 1 a run of 3 to 18 zeros
  // (4 more bits), 2 a run of 20 or more (9 more bits), k + 2 a length k.
  struct TToken {
    uint8_t symbol;
    uint8_t extraBits;
    uint16_t extra;
  };
  static std::vector<TToken> LengthTokens(std::span<const uint8_t> cLen) {
    std::vector<TToken> out;
    size_t n = cLen.size();
    while (n > 0 && cLen[n - 1] == 0) --n;
    for (size_t i = 0; i < n;) {
      if (cLen[i] != 0) {
        out.push_back({static_cast<uint8_t>(cLen[i++] + 2), 0, 0});
        continue;
      }
      size_t run = 0;
      while (i < n && cLen[i] == 0) ++run, ++i;
      while (run > 0) {
        if (run <= 2) {
          out.push_back({0, 0, 0});
          --run;
        } else if (run <= 18) {
          out.push_back({1, 4, static_cast<uint16_t>(run - 3)});
          run = 0;
        } else if (run == 19) {
          out.push_back({0, 0, 0});
          --run;
        } else {
          const size_t take = std::min<size_t>(run, 20 + 511);
          out.push_back({2, kCBit, static_cast<uint16_t>(take - 20)});
          run -= take;
        }
      }
    }
    return out;
  }

  // A tree of one symbol (or none) is stored as a count of 0 followed by that symbol.
  template <size_t N>
  bool Lengths(const std::array<uint32_t, N>& freq, std::array<uint8_t, N>& len, std::array<uint16_t, N>& code,
               uint32_t& only) {
    const int used = lzcodec::BuildCodeLengths(freq, len);
    if (used >= 2) {
      lzcodec::MakeCodes(len, code);
      return true;
    }
    only = 0;
    for (size_t s = 0; s < N; ++s)
      if (freq[s] != 0) only = static_cast<uint32_t>(s);
    return false;
  }

  void SendBlock() {
    if (Codes.empty()) return;
    std::array<uint32_t, kNC> cFreq{};
    std::array<uint32_t, kNP> pFreq{};
    for (size_t i = 0; i < Codes.size(); ++i) {
      ++cFreq[Codes[i]];
      if (Codes[i] >= 256) ++pFreq[static_cast<size_t>(PositionCode(Distances[i]))];
    }
    std::array<uint8_t, kNC> cLen{};
    std::array<uint16_t, kNC> cCode{};
    std::array<uint8_t, kNP> pLen{};
    std::array<uint16_t, kNP> pCode{};
    uint32_t only = 0;
    Bits.Put(16, static_cast<uint32_t>(Codes.size()));
    if (Lengths(cFreq, cLen, cCode, only)) {
      const std::vector<TToken> tokens = LengthTokens(cLen);
      std::array<uint32_t, kNT> tFreq{};
      for (const TToken& t : tokens) ++tFreq[t.symbol];
      std::array<uint8_t, kNT> tLen{};
      std::array<uint16_t, kNT> tCode{};
      uint32_t tOnly = 0;
      if (Lengths(tFreq, tLen, tCode, tOnly)) {
        PutTreeLengths(tLen, kTBit, 3);
      } else {
        Bits.Put(kTBit, 0);
        Bits.Put(kTBit, tOnly);
      }
      size_t n = cLen.size();
      while (n > 0 && cLen[n - 1] == 0) --n;
      Bits.Put(kCBit, static_cast<uint32_t>(n));
      for (const TToken& t : tokens) {
        Bits.Put(tLen[t.symbol], tCode[t.symbol]);
        if (t.extraBits != 0) Bits.Put(t.extraBits, t.extra);
      }
    } else {
      Bits.Put(kTBit, 0);
      Bits.Put(kTBit, 0);
      Bits.Put(kCBit, 0);
      Bits.Put(kCBit, only);
    }
    uint32_t pOnly = 0;
    if (Lengths(pFreq, pLen, pCode, pOnly)) {
      PutTreeLengths(pLen, kPBit, -1);
    } else {
      Bits.Put(kPBit, 0);
      Bits.Put(kPBit, pOnly);
    }
    for (size_t i = 0; i < Codes.size(); ++i) {
      const uint16_t c = Codes[i];
      Bits.Put(cLen[c], cCode[c]);
      if (c < 256) continue;
      const uint32_t d = Distances[i];
      const int k = PositionCode(d);
      Bits.Put(pLen[static_cast<size_t>(k)], pCode[static_cast<size_t>(k)]);
      if (k > 1) Bits.Put(k - 1, d - (1u << (k - 1)));
    }
    Codes.clear();
    Distances.clear();
    Drain();
  }

  void Drain() {
    const auto out = Bits.Bytes();
    if (out.empty() || Failed) return;
    Packed += out.size();
    if (!Sink(out)) Failed = true;
    Bits.Clear();
  }
};

TArjEncoder::TArjEncoder(TByteSink sink) : FImpl(std::make_unique<TImpl>(std::move(sink))) {}
TArjEncoder::~TArjEncoder() = default;

bool TArjEncoder::Write(std::span<const uint8_t> data) {
  while (!data.empty() && !FImpl->Failed) {
    data = data.subspan(FImpl->Finder.Fill(data));
    FImpl->Compress(false);
  }
  return !FImpl->Failed;
}

bool TArjEncoder::Finish() {
  FImpl->Compress(true);
  FImpl->SendBlock();
  FImpl->Bits.Flush();
  FImpl->Drain();
  return !FImpl->Failed;
}

uint64_t TArjEncoder::PackedSize() const { return FImpl->Packed; }

}  // namespace unarj
