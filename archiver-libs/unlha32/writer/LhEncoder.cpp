#include "LhEncoder.h"

#include "BitWriter.h"
#include "CodeLengths.h"
#include "MatchFinder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace unlha {

using lzcodec::BuildCodeLengths;
using lzcodec::MakeCodes;
using lzcodec::TBitWriter;
using lzcodec::TLzWindow;
using lzcodec::TMatch;
using lzcodec::TMatchFinder;
using lzcodec::TTreeFinder;

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
constexpr size_t kBufferSymbols = 32768;
constexpr size_t kMinBlockSymbols = 128;

// Near-optimal parsing: input is parsed in chunks of this many positions, each as a shortest
// path over its candidate matches, priced with the code lengths of the parse before; at most
// this many candidates (of increasing length) are kept per position.
constexpr uint32_t kChunkPositions = 32768;
constexpr size_t kMaxCandidates = 8;

struct TMethodParams {
  int dictBits;
  int np;   // position tree alphabet
  int pbit; // bits of its symbol count
  int hashBits;
  int maxChain;
  int goodLength; // a previous match this long shortens the search
  int niceLength; // a match this long ends the search
  int maxLazy;    // a previous match this long is taken without looking further
  bool optimal;   // near-optimal parsing (over binary trees) instead of lazy matching
  uint32_t treeDepth;
};

TMethodParams ParamsOf(TLhMethod method) {
  switch (method) {
  // -lh5- is the default and keeps the fast lazy parse; the larger windows are chosen for size.
  case TLhMethod::lh5: return {13, 14, 4, 15, 128, 8, 256, 256, false, 0};
  case TLhMethod::lh6: return {15, 16, 5, 16, 0, 0, 128, 0, true, 32};
  case TLhMethod::lh7: return {16, 17, 5, 16, 0, 0, 128, 0, true, 32};
  case TLhMethod::lh0: break;
  }
  throw std::invalid_argument("method without an encoder");
}

inline int PositionCode(uint32_t p) { return p == 0 ? 0 : std::bit_width(p); }

// Prices symbols in bits for the parse: the code lengths a block with the given symbol counts
// would get; symbols it does not use cost as much as its longest code.
struct TCostModel {
  std::array<uint32_t, kNC> c{};
  std::array<uint32_t, 32> p{}; // position code plus its extra bits, per position code

  static void Lengths(std::span<const uint32_t> freq, std::span<uint32_t> cost) {
    std::array<uint8_t, kNC> len{};
    const std::span<uint8_t> lens(len.data(), freq.size());
    const int used = BuildCodeLengths(freq, lens);
    uint32_t longest = 0;
    for (uint8_t l : lens) longest = std::max<uint32_t>(longest, l);
    for (size_t i = 0; i < freq.size(); ++i) {
      if (used < 2) cost[i] = freq[i] != 0 ? 1 : 8;
      else cost[i] = lens[i] != 0 ? lens[i] : longest;
    }
  }

  static TCostModel FromCounts(std::span<const uint32_t> cFreq, std::span<const uint32_t> pFreq) {
    TCostModel m;
    Lengths(cFreq, m.c);
    Lengths(pFreq, std::span(m.p.data(), pFreq.size()));
    for (size_t k = 2; k < pFreq.size(); ++k) m.p[k] += static_cast<uint32_t>(k - 1);
    return m;
  }

  uint32_t Distance(uint32_t dist) const { return p[static_cast<size_t>(PositionCode(dist - 1))]; }
};

// Gathers a chunk of positions with their candidate matches, then finds the cheapest way through
// it: every length from the minimum up to each candidate's, at the nearest distance that reaches
// it. Prices are the code lengths the previous chunk's parse would get; an input's first chunk
// has none, and is priced by a quick lazy parse of its own candidates instead.
class TOptimalParser {
public:
  explicit TOptimalParser(int np) : FNp(np) {
    FBytes.reserve(kChunkPositions);
    FFirst.reserve(kChunkPositions + 1);
    FFirst.push_back(0);
  }

  // Forgets the chunk and the prices learnt, for new input.
  void Reset() {
    FFirstChunk = true;
    FBytes.clear();
    FMatches.clear();
    FFirst.resize(1);
  }

  size_t Size() const { return FBytes.size(); }

  void Add(uint8_t byte, std::span<const TMatch> matches) {
    FBytes.push_back(byte);
    FMatches.insert(FMatches.end(), matches.begin(), matches.end());
    FFirst.push_back(static_cast<uint32_t>(FMatches.size()));
  }

  // Parses what was gathered, hands each symbol to emit(code, position) in order, and starts a
  // new chunk, priced by this one's counts.
  template <typename Emit> void Parse(Emit&& emit) {
    const auto n = static_cast<uint32_t>(FBytes.size());
    if (FFirstChunk) {
      LazyPath(n);
      Learn();
      FFirstChunk = false;
    }
    ShortestPath(n);
    Trace(n);
    Learn();
    for (const auto& [len, dist] : FPath) {
      if (len == 0) emit(static_cast<uint16_t>(dist), uint16_t{0});
      else emit(static_cast<uint16_t>(256 + len - kMinMatch), static_cast<uint16_t>(dist - 1));
    }
    FBytes.clear();
    FMatches.clear();
    FFirst.resize(1);
  }

private:
  // The longest candidate at position i of a chunk of n, cut at its end; length 0 for none.
  TMatch Longest(uint32_t i, uint32_t n) const {
    if (i >= n || FFirst[i] == FFirst[i + 1]) return {0, 0};
    const TMatch m = FMatches[FFirst[i + 1] - 1];
    return {std::min(m.length, n - i), m.dist};
  }

  // Lazy matching over the candidates gathered, as FPath: close enough to the shortest path's
  // symbol counts to price it, at a fraction of its cost.
  void LazyPath(uint32_t n) {
    FPath.clear();
    for (uint32_t i = 0; i < n;) {
      const TMatch m = Longest(i, n);
      if (m.length >= kMinMatch && !(m.length == kMinMatch && m.dist > kTooFar) && Longest(i + 1, n).length <= m.length) {
        FPath.push_back({m.length, m.dist});
        i += m.length;
      } else {
        FPath.push_back({0, FBytes[i]});
        ++i;
      }
    }
  }

  // Prices symbols by the code lengths FPath's counts would get.
  void Learn() {
    std::array<uint32_t, kNC> cFreq{};
    std::array<uint32_t, 32> pFreq{};
    for (const auto& [len, dist] : FPath) {
      if (len == 0) {
        ++cFreq[dist];
      } else {
        ++cFreq[256 + len - kMinMatch];
        ++pFreq[static_cast<size_t>(PositionCode(dist - 1))];
      }
    }
    FModel = TCostModel::FromCounts(cFreq, std::span(pFreq.data(), static_cast<size_t>(FNp)));
  }

  // A step's packed origin: the match length (0 for a literal) in the low bits, its distance above.
  static constexpr int kLenBits = 9;
  static constexpr uint32_t kUnreached = 0x7FFFFFFF;

  void ShortestPath(uint32_t n) {
    FCost.assign(n + 1, kUnreached);
    FFrom.resize(n + 1);
    FCost[0] = 0;
    const uint32_t* lenCost = &FModel.c[256 - kMinMatch];
    for (uint32_t i = 0; i < n; ++i) {
      const uint32_t here = FCost[i];
      const uint32_t lit = here + FModel.c[FBytes[i]];
      if (lit < FCost[i + 1]) {
        FCost[i + 1] = lit;
        FFrom[i + 1] = 0;
      }
      uint32_t len = kMinMatch;
      const uint32_t room = n - i;
      for (uint32_t m = FFirst[i]; m < FFirst[i + 1] && len <= room; ++m) {
        const uint32_t dist = FMatches[m].dist;
        const uint32_t last = std::min(FMatches[m].length, room);
        len = Relax(&FCost[i], &FFrom[i], lenCost, here + FModel.Distance(dist), dist << kLenBits, len, last);
      }
    }
  }

  // Offers every length from len to last at one distance (base: the cost before the length's
  // own code) to the steps that far on; returns last + 1.
  static uint32_t Relax(uint32_t* cost, uint32_t* from, const uint32_t* lenCost, uint32_t base, uint32_t tag,
                        uint32_t len, uint32_t last) {
#if defined(__SSE2__)
    // Four lengths at a time; costs stay far below 2^31, so signed compares order them.
    const __m128i vBase = _mm_set1_epi32(static_cast<int>(base));
    const __m128i four = _mm_set1_epi32(4);
    __m128i vFrom = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(tag | len)), _mm_set_epi32(3, 2, 1, 0));
    for (; len + 3 <= last; len += 4) {
      const __m128i c = _mm_add_epi32(vBase, _mm_loadu_si128(reinterpret_cast<const __m128i*>(lenCost + len)));
      __m128i* pc = reinterpret_cast<__m128i*>(cost + len);
      __m128i* pf = reinterpret_cast<__m128i*>(from + len);
      const __m128i old = _mm_loadu_si128(pc);
      const __m128i better = _mm_cmplt_epi32(c, old);
      _mm_storeu_si128(pc, _mm_or_si128(_mm_and_si128(better, c), _mm_andnot_si128(better, old)));
      _mm_storeu_si128(pf, _mm_or_si128(_mm_and_si128(better, vFrom), _mm_andnot_si128(better, _mm_loadu_si128(pf))));
      vFrom = _mm_add_epi32(vFrom, four);
    }
#endif
    for (; len <= last; ++len) {
      const uint32_t c = base + lenCost[len];
      if (c < cost[len]) {
        cost[len] = c;
        from[len] = tag | len;
      }
    }
    return len;
  }

  // The chosen symbols in order: (0, byte) for a literal, (length, distance) for a match.
  void Trace(uint32_t n) {
    FPath.clear();
    for (uint32_t i = n; i > 0;) {
      const uint32_t len = FFrom[i] & ((1u << kLenBits) - 1);
      if (len == 0) {
        FPath.push_back({0, FBytes[i - 1]});
        --i;
      } else {
        FPath.push_back({len, FFrom[i] >> kLenBits});
        i -= len;
      }
    }
    std::reverse(FPath.begin(), FPath.end());
  }

  int FNp;
  bool FFirstChunk = true;
  TCostModel FModel;
  std::vector<uint8_t> FBytes;
  std::vector<TMatch> FMatches;
  std::vector<uint32_t> FFirst; // per position, its first candidate in FMatches
  std::vector<uint32_t> FCost; // per position, the cheapest way there so far, in bits
  std::vector<uint32_t> FFrom; // and the symbol it ends with
  std::vector<std::pair<uint32_t, uint32_t>> FPath;
};

// Everything an encoder of one method keeps between its inputs: the finder's window and tables,
// the parse and the block being gathered. Start makes it as good as new for the next input
// without clearing its tables, so that a small file costs in proportion to its bytes.
class TCoder {
public:
  explicit TCoder(TLhMethod method)
      : P(ParamsOf(method)) {
    // Any distance within the window: the decoders' ring buffer holds a whole window.
    const lzcodec::TWindowParams window{P.dictBits, (1u << P.dictBits) - 1, kMaxMatch, kMinLookahead, P.hashBits};
    if (P.optimal) {
      Tree.emplace(TTreeFinder::TParams{window, P.treeDepth});
      Optimal = std::make_unique<TOptimalParser>(P.np);
    } else {
      Chain.emplace(TMatchFinder::TParams{window, P.maxChain, P.goodLength, P.niceLength});
    }
    Codes.reserve(kBufferSymbols);
    Positions.reserve(kBufferSymbols);
  }

  void Start(TByteSink sink) {
    Sink = std::move(sink);
    Window().Restart();
    MatchLen = kMinMatch - 1;
    MatchDist = 0;
    MatchAvailable = false;
    if (Optimal) Optimal->Reset();
    Covered = 0;
    Codes.clear();
    Positions.clear();
    Bits.Reset();
    Output = 0;
    Finished = false;
  }

  // Lets go of the sink (and what it refers to) once the input is done with.
  void Stop() { Sink = nullptr; }

  void Write(std::span<const uint8_t> data) {
    while (!data.empty()) {
      data = data.subspan(Window().Fill(data));
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

  uint64_t OutputSize() const { return Output + Bits.Bytes().size(); }

private:
  TLzWindow& Window() {
    if (Tree) return *Tree;
    return *Chain;
  }

  void Symbol(uint16_t c, uint16_t p) {
    Codes.push_back(c);
    Positions.push_back(p);
    if (Codes.size() == kBufferSymbols) SendBlock();
  }

  void Literal(uint8_t c) { Symbol(c, 0); }
  void Match(uint32_t len, uint32_t dist) { Symbol(static_cast<uint16_t>(256 + len - kMinMatch), static_cast<uint16_t>(dist - 1)); }

  void ParseChunk() {
    Optimal->Parse([this](uint16_t c, uint16_t p) { Symbol(c, p); });
  }

  // Gathers every position's candidates up to the lookahead limit, or to the end when flushing;
  // a match of the nice length is taken as it is, its inner positions only inserted.
  void Gather(bool flush) {
    std::array<TMatch, kMaxCandidates> found;
    TTreeFinder& finder = *Tree;
    for (;;) {
      const uint32_t lookahead = finder.Lookahead();
      if (lookahead < kMinLookahead && !flush) return;
      if (lookahead == 0) break;
      size_t n = 0;
      if (Covered > 0) {
        --Covered;
        finder.Insert();
      } else {
        n = finder.Matches(found);
        if (n != 0 && found[n - 1].length >= static_cast<uint32_t>(P.niceLength)) Covered = found[n - 1].length - 1;
      }
      Optimal->Add(finder.Current(), std::span(found.data(), n));
      finder.Next();
      // A chunk ends outside long matches, so that none is cut.
      if (Optimal->Size() >= kChunkPositions && Covered == 0) ParseChunk();
    }
    if (Optimal->Size() != 0) ParseChunk();
  }

  // Codes positions up to the lookahead limit, or to the end when flushing.
  void Compress(bool flush) {
    if (Optimal) return Gather(flush);
    TMatchFinder& finder = *Chain;
    for (;;) {
      const uint32_t lookahead = finder.Lookahead();
      if (lookahead < kMinLookahead && !flush) return;
      if (lookahead == 0) break;
      const uint32_t cand = lookahead >= kMinMatch ? finder.InsertCurrent() : 0;
      const uint32_t prevLen = MatchLen;
      const uint32_t prevDist = MatchDist;
      MatchLen = kMinMatch - 1;
      if (lookahead >= kMinMatch && prevLen < static_cast<uint32_t>(P.maxLazy)) {
        uint32_t dist = 0;
        const uint32_t len = finder.LongestMatch(cand, prevLen, dist);
        if (len > prevLen && !(len == kMinMatch && dist > kTooFar)) {
          MatchLen = len;
          MatchDist = dist;
        }
      }
      if (prevLen >= kMinMatch && MatchLen <= prevLen) {
        Match(prevLen, prevDist);
        // The match began one position back; the current one is linked already.
        finder.Skip(prevLen - 1);
        MatchAvailable = false;
        MatchLen = kMinMatch - 1;
      } else if (MatchAvailable) {
        Literal(finder.Previous());
        finder.Skip(1);
      } else {
        MatchAvailable = true;
        finder.Skip(1);
      }
    }
    if (MatchAvailable) {
      Literal(finder.Previous());
      MatchAvailable = false;
    }
  }

  void Drain() {
    const auto out = Bits.Bytes();
    if (out.empty()) return;
    Output += out.size();
    Sink(out);
    Bits.Clear();
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

  // Adds the symbols [begin, end) to f.
  void Add(TFreqs& f, size_t begin, size_t end) const {
    for (size_t i = begin; i < end; ++i) {
      ++f.c[Codes[i]];
      if (Codes[i] >= 256) ++f.p[static_cast<size_t>(PositionCode(Positions[i]))];
    }
  }

  TFreqs Count(size_t begin, size_t end) const {
    TFreqs f;
    Add(f, begin, end);
    return f;
  }

  struct TTrees {
    std::array<uint8_t, kNC> cLen{};
    std::array<uint16_t, kNC> cCode{};
    std::array<uint8_t, 32> pLen{};
    std::array<uint16_t, 32> pCode{};
  };

  // A block's head for symbols counted in f: the symbol count and the three trees; put(n, v)
  // receives every bit field, so the same walk writes a head or measures it.
  template <typename Put> TTrees BlockHead(size_t count, const TFreqs& f, Put&& put) const {
    TTrees tr;
    std::array<uint8_t, kNT> tLen{};
    std::array<uint16_t, kNT> tCode{};
    auto onlySymbol = [](std::span<const uint32_t> freq) {
      const auto it = std::find_if(freq.begin(), freq.end(), [](uint32_t x) { return x != 0; });
      return it == freq.end() ? 0u : static_cast<uint32_t>(it - freq.begin());
    };

    put(16, static_cast<uint32_t>(count));
    if (BuildCodeLengths(f.c, tr.cLen) >= 2) {
      MakeCodes(tr.cLen, tr.cCode);
      int n = kNC;
      while (n > 0 && tr.cLen[n - 1] == 0) --n;
      std::array<uint32_t, kNT> tFreq{};
      ForEachCLengthToken(tr.cLen, n, [&](int t, int, int) { ++tFreq[t]; });
      if (BuildCodeLengths(tFreq, tLen) >= 2) {
        MakeCodes(tLen, tCode);
        PtLengths(tLen, kTBit, 3, put);
      } else {
        put(kTBit, 0);
        put(kTBit, onlySymbol(tFreq));
      }
      put(kCBit, static_cast<uint32_t>(n));
      ForEachCLengthToken(tr.cLen, n, [&](int t, int extraBits, int extra) {
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
    const std::span<uint8_t> pLens(tr.pLen.data(), static_cast<size_t>(P.np));
    if (BuildCodeLengths(pFreq, pLens) >= 2) {
      MakeCodes(pLens, tr.pCode);
      PtLengths(pLens, P.pbit, -1, put);
    } else {
      put(P.pbit, 0);
      put(P.pbit, onlySymbol(pFreq));
    }
    return tr;
  }

  // The size of a block of the symbols counted in f, from the counts alone (a tree of a single
  // symbol codes it in no bits).
  uint64_t BlockBits(size_t count, const TFreqs& f) const {
    uint64_t bits = 0;
    const TTrees tr = BlockHead(count, f, [&](int n, uint32_t) { bits += static_cast<uint64_t>(n); });
    for (size_t c = 0; c < f.c.size(); ++c) bits += uint64_t{f.c[c]} * tr.cLen[c];
    for (size_t k = 0; k < static_cast<size_t>(P.np); ++k)
      bits += uint64_t{f.p[k]} * (tr.pLen[k] + (k > 1 ? k - 1 : 0));
    return bits;
  }

  // Symbols [begin, end) as one block.
  void CodeBlock(size_t begin, size_t end, const TFreqs& f) {
    const TTrees tr = BlockHead(end - begin, f, [&](int n, uint32_t v) { Bits.Put(n, v); });
    for (size_t i = begin; i < end; ++i) {
      const uint16_t c = Codes[i];
      Bits.Put(tr.cLen[c], tr.cCode[c]);
      if (c >= 256) {
        const uint32_t p = Positions[i];
        const int k = PositionCode(p);
        Bits.Put(tr.pLen[static_cast<size_t>(k)], tr.pCode[static_cast<size_t>(k)]);
        if (k > 1) Bits.Put(k - 1, p - (1u << (k - 1)));
      }
    }
  }

  // n log2 n for every count a buffer can hold, for the entropy estimate below.
  static const std::array<float, kBufferSymbols + 1>& XLogX() {
    static const auto table = [] {
      std::array<float, kBufferSymbols + 1> t{};
      for (size_t n = 2; n < t.size(); ++n) t[n] = static_cast<float>(static_cast<double>(n) * std::log2(static_cast<double>(n)));
      return t;
    }();
    return table;
  }

  // A quick estimate of the size of two blocks, [begin, mid) counted in left and [mid, end),
  // the rest of all: the entropy of their symbols and position codes, and a few bits per code
  // length their trees store. Good enough to rank cuts; whether to cut at all is decided on
  // exact sizes.
  float EstimateCut(size_t leftCount, const TFreqs& left, size_t rightCount, const TFreqs& all) const {
    const auto& t = XLogX();
    float bits = t[leftCount] + t[rightCount];
    uint32_t used = 0;
    for (size_t c = 0; c < all.c.size(); ++c) {
      const uint32_t l = left.c[c], r = all.c[c] - l;
      bits -= t[l] + t[r];
      used += (l != 0) + (r != 0);
    }
    uint32_t leftMatches = 0, rightMatches = 0;
    for (size_t k = 0; k < static_cast<size_t>(P.np); ++k) {
      const uint32_t l = left.p[k], r = all.p[k] - l;
      leftMatches += l;
      rightMatches += r;
      bits -= t[l] + t[r];
    }
    return bits + t[leftMatches] + t[rightMatches] + 4.0f * static_cast<float>(used);
  }

  // Cuts a stretch of symbols (counted in f, bits long as one block) at the sixteenth that looks
  // best by the estimate, if two blocks with trees of their own come out smaller than one, then
  // each part the same way.
  void SplitAndSend(size_t begin, size_t end, const TFreqs& f, uint64_t bits) {
    constexpr size_t kCuts = 15;
    if (end - begin >= 2 * kMinBlockSymbols) {
      TFreqs left; // the symbols before the cut tried, counted as the cut moves on
      size_t counted = begin;
      size_t cut = 0;
      float bestEstimate = 0;
      for (size_t q = 1; q <= kCuts; ++q) {
        const size_t mid = begin + (end - begin) * q / (kCuts + 1);
        if (mid - begin < kMinBlockSymbols) continue;
        if (end - mid < kMinBlockSymbols) break;
        Add(left, counted, mid);
        counted = mid;
        const float estimate = EstimateCut(mid - begin, left, end - mid, f);
        if (cut == 0 || estimate < bestEstimate) {
          cut = mid;
          bestEstimate = estimate;
        }
      }
      if (cut != 0) {
        const TFreqs head = Count(begin, cut);
        TFreqs rest;
        Subtract(f, head, rest);
        const uint64_t headBits = BlockBits(cut - begin, head);
        const uint64_t restBits = BlockBits(end - cut, rest);
        if (headBits + restBits < bits) {
          SplitAndSend(begin, cut, head, headBits);
          SplitAndSend(cut, end, rest, restBits);
          return;
        }
      }
    }
    CodeBlock(begin, end, f);
  }

  static void Subtract(const TFreqs& all, const TFreqs& part, TFreqs& rest) {
    for (size_t c = 0; c < rest.c.size(); ++c) rest.c[c] = all.c[c] - part.c[c];
    for (size_t k = 0; k < rest.p.size(); ++k) rest.p[k] = all.p[k] - part.p[k];
  }

  void SendBlock() {
    const size_t count = Codes.size();
    const TFreqs f = Count(0, count);
    // A buffer too short to cut never needs its size.
    SplitAndSend(0, count, f, count >= 2 * kMinBlockSymbols ? BlockBits(count, f) : 0);
    Codes.clear();
    Positions.clear();
    Drain();
  }

  TMethodParams P;
  TByteSink Sink;
  std::optional<TMatchFinder> Chain; // the lazy parse's
  std::optional<TTreeFinder> Tree;   // the near-optimal parse's

  // Lazy matching state carried between calls.
  uint32_t MatchLen = kMinMatch - 1;
  uint32_t MatchDist = 0;
  bool MatchAvailable = false;
  // Near-optimal parsing: the chunk being gathered, and the positions left inside a long match
  // taken without searching them.
  std::unique_ptr<TOptimalParser> Optimal;
  uint32_t Covered = 0;

  // The current block.
  std::vector<uint16_t> Codes;
  std::vector<uint16_t> Positions;
  TBitWriter Bits;
  uint64_t Output = 0;
  bool Finished = false;
};

// The coders this thread's encoders are done with, one per method, for the next encoder.
thread_local std::array<std::unique_ptr<TCoder>, 3> tIdleCoders;

size_t CoderSlot(TLhMethod method) {
  switch (method) {
  case TLhMethod::lh5: return 0;
  case TLhMethod::lh6: return 1;
  case TLhMethod::lh7: return 2;
  case TLhMethod::lh0: break;
  }
  throw std::invalid_argument("method without an encoder");
}

} // namespace

struct TLhEncoder::TImpl {
  size_t Slot;
  std::unique_ptr<TCoder> Coder;

  TImpl(TLhMethod method, TByteSink sink) : Slot(CoderSlot(method)) {
    Coder = std::move(tIdleCoders[Slot]);
    if (!Coder) Coder = std::make_unique<TCoder>(method);
    Coder->Start(std::move(sink));
  }
  ~TImpl() {
    Coder->Stop();
    if (!tIdleCoders[Slot]) tIdleCoders[Slot] = std::move(Coder);
  }
  TImpl(const TImpl&) = delete;
  TImpl& operator=(const TImpl&) = delete;
};

TLhEncoder::TLhEncoder(TLhMethod method, TByteSink sink) : FImpl(std::make_unique<TImpl>(method, std::move(sink))) {}
TLhEncoder::~TLhEncoder() = default;
void TLhEncoder::Write(std::span<const uint8_t> data) { FImpl->Coder->Write(data); }
void TLhEncoder::Finish() { FImpl->Coder->Finish(); }
uint64_t TLhEncoder::OutputSize() const { return FImpl->Coder->OutputSize(); }

} // namespace unlha
