// LZ77 match finders over a sliding window, window positions kept in 32 bits however long the
// input: hash chains of four-byte hashes with the nearest three-byte match beside (bounded
// search, "longest match here") for the fast parses, and binary
// trees (every match length at its nearest distance, in one descent) for the near-optimal one.
// The parse itself is the encoder's. A finder may be reused for one input after another: its
// positions keep counting up, so the tables of the input before never need clearing.
#pragma once
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace lzcodec {

struct TMatch {
  uint32_t length;
  uint32_t dist;
};

// What both finders' windows are made of.
struct TWindowParams {
  int dictBits;       // the finder reaches this far back (a power of two)
  uint32_t maxDist;   // longest distance a match may have (at most 2^dictBits - 1)
  uint32_t maxMatch;  // longest match
  uint32_t lookahead; // bytes kept ahead of the current position before it is coded
  int hashBits;
};

// The window both finders search, and their two tables: a head per hash and links per window
// position, both holding absolute positions (0 and anything more than the longest distance
// back end a search).
class TLzWindow {
 public:
  static constexpr uint32_t kMinMatch = 3;

  // Copies as much of data into the window as fits, first dropping history older than the
  // window when it is full; returns the bytes taken.
  size_t Fill(std::span<const uint8_t> data);
  // Starts on new input, as a new finder would: the window is emptied and the positions jump
  // a whole window on, so what the tables hold is out of reach without clearing them.
  void Restart();

  // Bytes from the current position to the end of the input so far.
  uint32_t Lookahead() const { return FFill - FCur; }
  // The byte just before the current position.
  uint8_t Previous() const { return FWin[FCur - 1]; }
  // The byte at the current position (Lookahead() must not be 0).
  uint8_t Current() const { return FWin[FCur]; }

 protected:
  TLzWindow(const TWindowParams& params, uint32_t linksPerPosition, bool threeByteHeads);

  static uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  uint32_t HashOf(uint32_t bytes) const { return (bytes * 2654435761u) >> FHashShift; }
  // Hash of the three bytes at window index i (which must all be input).
  uint32_t Hash(uint32_t i) const { return HashOf(Load32(&FWin[i]) & 0xFFFFFFu); }
  uint32_t AbsoluteCurrent() const { return FBase + FCur; }
  // Positions below this are further back than a match may reach.
  uint32_t Reach() const { return FBase + FCur - FMaxDist; }
  const uint8_t* At(uint32_t absolute) const { return &FWin[absolute - FBase]; }

  uint32_t FMaxDist;
  uint32_t FMaxMatch;
  uint32_t FDictMask;
  std::vector<uint8_t> FWin;    // 2 windows of history and lookahead, plus slack for wide compares
  uint32_t FFill = 0;           // bytes of FWin holding input
  uint32_t FCur = 0;            // next position to code
  uint32_t FBase;               // absolute position of FWin[0]; at least a window, so that 0 is never a match
  std::vector<uint32_t> FHead;  // per hash, the latest absolute position
  std::vector<uint32_t> FHead3; // per three-byte hash, the latest, when FHead hashes four bytes
  std::vector<uint32_t> FLinks; // per position modulo the window, the finder's links

 private:
  void Slide();
  void Clear();
  // Moves every position in the tables down by delta; those below it become 0.
  void MoveDown(uint32_t delta);

  uint32_t FDict;
  uint32_t FWinSize; // usable bytes of FWin
  uint32_t FHashShift;
};

class TMatchFinder : public TLzWindow {
 public:
  using TMatch = lzcodec::TMatch;

  struct TParams : TWindowParams {
    int maxChain;
    int goodLength;      // a previous match this long shortens the search
    int niceLength;      // a match this long ends the search
  };

  explicit TMatchFinder(const TParams& params);

  // Links the current position (with at least kMinMatch bytes ahead) into the tables and
  // returns the previous position of the same four-byte hash, 0 for none.
  uint32_t InsertCurrent();
  // The longest match at the current position, after the last InsertCurrent, that is longer
  // than prevLen (which must be at least 2): along candidate's chain, or else the nearest
  // position with the same three bytes. Returns its length (prevLen if none) and sets dist.
  uint32_t LongestMatch(uint32_t candidate, uint32_t prevLen, uint32_t& dist) const;
  // Moves past n positions, the current one already linked; links those in between that
  // still have kMinMatch bytes to hash.
  void Skip(uint32_t n);

 private:
  uint32_t Insert(uint32_t i);

  TParams FP;
  uint32_t FNear3 = 0; // the current position's nearest predecessor with the same three-byte hash
};

class TTreeFinder : public TLzWindow {
 public:
  struct TParams : TWindowParams {
    uint32_t maxDepth; // nodes visited per descent at most
  };

  explicit TTreeFinder(const TParams& params);

  // Inserts the current position and lists every match there that is longer than all nearer
  // ones, by increasing length (each length is reachable at the nearest distance listed for it
  // or a longer one); returns how many. When out is full, a longer match replaces its last
  // entry. Nothing is inserted or listed with fewer than kMinMatch bytes ahead.
  size_t Matches(std::span<TMatch> out) { return Descend(out); }
  // Inserts the current position without listing its matches.
  void Insert() { Descend({}); }
  // Moves to the next position.
  void Next() { ++FCur; }

 private:
  size_t Descend(std::span<TMatch> out);

  uint32_t FMaxDepth;
};

}  // namespace lzcodec
