// LZ77 match finder over a sliding window: hash chains of three-byte prefixes, bounded search,
// window positions kept in 32 bits however long the input. The parse (greedy, lazy, ...) is
// the encoder's; this class only keeps the window and answers "longest match here".
#pragma once
#include <cstdint>
#include <span>
#include <vector>

namespace lzcodec {

class TMatchFinder {
 public:
  static constexpr uint32_t kMinMatch = 3;

  struct TParams {
    int dictBits;        // hash chains reach this far back (a power of two)
    uint32_t maxDist;    // longest distance a match may have (at most 2^dictBits - 1)
    uint32_t maxMatch;   // longest match
    uint32_t lookahead;  // bytes kept ahead of the current position before it is coded
    int hashBits;
    int maxChain;
    int goodLength;      // a previous match this long shortens the search
    int niceLength;      // a match this long ends the search
  };

  explicit TMatchFinder(const TParams& params);

  // Copies as much of data into the window as fits, first dropping history older than the
  // window when it is full; returns the bytes taken.
  size_t Fill(std::span<const uint8_t> data);

  // Bytes from the current position to the end of the input so far.
  uint32_t Lookahead() const { return FFill - FCur; }
  // Links the current position (with at least kMinMatch bytes ahead) into its hash chain and
  // returns the previous position of the same hash, 0 for none.
  uint32_t InsertCurrent() { return Insert(FCur); }
  // How far back a position returned by InsertCurrent lies.
  uint32_t Distance(uint32_t candidate) const { return FBase + FCur - candidate; }
  uint32_t MaxDistance() const { return FP.maxDist; }
  // The longest match at the current position along candidate's chain that is longer than
  // prevLen (which must be at least 2); returns its length (prevLen if none) and sets dist.
  uint32_t LongestMatch(uint32_t candidate, uint32_t prevLen, uint32_t& dist) const;
  // Moves past n positions, the current one already linked; links those in between that
  // still have kMinMatch bytes to hash.
  void Skip(uint32_t n);
  // The byte just before the current position.
  uint8_t Previous() const { return FWin[FCur - 1]; }

 private:
  uint32_t Hash(uint32_t i) const;
  uint32_t Insert(uint32_t i);
  void Slide();

  TParams FP;
  uint32_t FDict;
  uint32_t FDictMask;
  std::vector<uint8_t> FWin;  // 2 windows of history and lookahead, plus slack for wide compares
  uint32_t FWinSize;          // usable bytes of FWin
  uint32_t FFill = 0;         // bytes of FWin holding input
  uint32_t FCur = 0;          // next position to code
  uint32_t FBase;             // absolute position of FWin[0]; starts at FDict so that 0 is never a match
  std::vector<uint32_t> FHead;  // per hash, the latest absolute position
  std::vector<uint32_t> FPrev;  // per position modulo the window, the previous one of its hash
  uint32_t FHashShift;
};

}  // namespace lzcodec
