#include "MatchFinder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lzcodec {
namespace {

// Where absolute window positions are moved down, far below 2^32 less a window.
constexpr uint32_t kRebaseAt = 1u << 31;

inline uint32_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

inline uint32_t MatchLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
  uint32_t n = 0;
  while (n + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return n + static_cast<uint32_t>(std::countr_zero(x ^ y)) / 8;
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

}  // namespace

TLzWindow::TLzWindow(const TWindowParams& params, uint32_t linksPerPosition, bool threeByteHeads)
    : FMaxDist(params.maxDist),
      FMaxMatch(params.maxMatch),
      FDictMask((1u << params.dictBits) - 1),
      FBase(1u << params.dictBits),
      FDict(1u << params.dictBits),
      FWinSize(2 * FDict + 2 * params.lookahead),
      FHashShift(32 - static_cast<uint32_t>(params.hashBits)) {
  FWin.assign(FWinSize + 16, 0);
  FHead.assign(size_t{1} << params.hashBits, 0);
  if (threeByteHeads) FHead3.assign(size_t{1} << params.hashBits, 0);
  FLinks.assign(size_t{FDict} * linksPerPosition, 0);
}

void TLzWindow::Clear() {
  std::fill(FHead.begin(), FHead.end(), 0u);
  std::fill(FHead3.begin(), FHead3.end(), 0u);
  std::fill(FLinks.begin(), FLinks.end(), 0u);
  FBase = FDict;
}

void TLzWindow::Restart() {
  // Every position linked so far lies below FBase + FFill: a window further on, none is in reach.
  FBase += FFill + FDict;
  FCur = 0;
  FFill = 0;
  if (FBase >= kRebaseAt) Clear();
}

void TLzWindow::Slide() {
  const uint32_t keep = std::min(FCur, FDict + 1);
  const uint32_t shift = FCur - keep;
  if (shift == 0) return;
  std::memmove(FWin.data(), FWin.data() + shift, FFill - shift);
  FBase += shift;
  FCur -= shift;
  FFill -= shift;
  // Absolute positions are 32 bits: before they can wrap, every one is moved down by whole
  // windows, so that each keeps its links' slot, until FBase is below two windows. Positions
  // more than a window behind become 0, out of reach.
  if (FBase >= kRebaseAt) {
    const uint32_t delta = (FBase - FDict) & ~FDictMask;
    MoveDown(delta);
    FBase -= delta;
  }
}

void TLzWindow::MoveDown(uint32_t delta) {
  for (uint32_t& h : FHead) h = h > delta ? h - delta : 0;
  for (uint32_t& h : FHead3) h = h > delta ? h - delta : 0;
  for (uint32_t& q : FLinks) q = q > delta ? q - delta : 0;
}

size_t TLzWindow::Fill(std::span<const uint8_t> data) {
  if (FFill == FWinSize) Slide();
  const size_t n = std::min<size_t>(data.size(), FWinSize - FFill);
  std::memcpy(&FWin[FFill], data.data(), n);
  FFill += static_cast<uint32_t>(n);
  return n;
}

TMatchFinder::TMatchFinder(const TParams& params)
    : TLzWindow(params, 1, true), FP(params) {}

uint32_t TMatchFinder::Insert(uint32_t i) {
  const uint32_t abs = FBase + i;
  const uint32_t bytes = Load32(&FWin[i]);
  FHead3[HashOf(bytes & 0xFFFFFFu)] = abs;
  // The last three bytes of an input have no four to hash: they join no chain.
  uint32_t old = 0;
  if (i + 4 <= FFill) {
    const uint32_t h = HashOf(bytes);
    old = FHead[h];
    FHead[h] = abs;
  }
  FLinks[abs & FDictMask] = old;
  return old;
}

uint32_t TMatchFinder::InsertCurrent() {
  FNear3 = FHead3[Hash(FCur)];
  return Insert(FCur);
}

uint32_t TMatchFinder::LongestMatch(uint32_t cand, uint32_t prevLen, uint32_t& dist) const {
  const uint32_t maxLen = std::min(FMaxMatch, Lookahead());
  const uint32_t nice = std::min<uint32_t>(static_cast<uint32_t>(FP.niceLength), maxLen);
  uint32_t best = prevLen;
  if (best >= maxLen) return best;
  uint32_t chain = static_cast<uint32_t>(FP.maxChain);
  if (prevLen >= static_cast<uint32_t>(FP.goodLength)) chain >>= 2;
  const uint32_t absCur = AbsoluteCurrent();
  const uint32_t limit = Reach();
  const uint32_t base = FBase;
  const uint32_t mask = FDictMask;
  const uint32_t* links = FLinks.data();
  const uint8_t* win = FWin.data();
  const uint8_t* scan = win + FCur;
  uint32_t found = 0;
  // Chains link positions with the same four bytes (but for the odd hash collision): a
  // candidate must match those and the two bytes at the end of the best match so far.
  if (maxLen >= 4) {
    const uint32_t head = Load32(scan);
    for (; cand >= limit && chain != 0; cand = links[cand & mask], --chain) {
      const uint8_t* m = win + (cand - base);
      if (Load16(m + best - 1) != Load16(scan + best - 1) || Load32(m) != head) continue;
      const uint32_t len = 4 + MatchLength(scan + 4, m + 4, maxLen - 4);
      if (len > best) {
        best = len;
        found = cand;
        if (len >= nice) break;
      }
    }
  }
  // No match of four: the nearest position with the same three bytes may still give three.
  if (best < kMinMatch && FNear3 >= limit) {
    const uint8_t* m = win + (FNear3 - base);
    const uint32_t len = MatchLength(scan, m, maxLen);
    if (len > best) {
      best = len;
      found = FNear3;
    }
  }
  if (found != 0) dist = absCur - found;
  return best;
}

void TMatchFinder::Skip(uint32_t n) {
  const uint32_t end = FCur + n;
  const uint32_t insertEnd = std::min(end, FFill - kMinMatch + 1);
  for (uint32_t i = FCur + 1; i < insertEnd; ++i) Insert(i);
  FCur = end;
}

TTreeFinder::TTreeFinder(const TParams& params)
    : TLzWindow(params, 2, false), FMaxDepth(params.maxDepth) {}

size_t TTreeFinder::Descend(std::span<TMatch> out) {
  const uint32_t ahead = Lookahead();
  if (ahead < kMinMatch) return 0;
  const uint32_t lenLimit = std::min(FMaxMatch, ahead);
  const uint32_t absCur = AbsoluteCurrent();
  const uint32_t limit = Reach();
  const uint32_t h = Hash(FCur);
  uint32_t cand = FHead[h];
  FHead[h] = absCur;
  // The tables are far larger than a cache: fetch the next positions' heads and roots ahead.
  if (ahead >= kMinMatch + 2) {
    __builtin_prefetch(&FHead[Hash(FCur + 2)]);
    const uint32_t next = FHead[Hash(FCur + 1)];
    __builtin_prefetch(&FLinks[2 * (next & FDictMask)]);
    if (next >= limit) __builtin_prefetch(At(next));
  }
  // The current position becomes the root: the nodes met on the way down are split between its
  // two subtrees. `less` is the link that takes the next node sorting before the current bytes,
  // `greater` the next one sorting after; each side's common prefix with them is known.
  uint32_t* less = &FLinks[2 * (absCur & FDictMask)];
  uint32_t* greater = less + 1;
  uint32_t lenLess = 0;
  uint32_t lenGreater = 0;
  const uint8_t* scan = &FWin[FCur];
  uint32_t best = kMinMatch - 1;
  size_t n = 0;
  for (uint32_t depth = FMaxDepth; cand >= limit && depth != 0; --depth) {
    const uint8_t* m = At(cand);
    uint32_t len = std::min(lenLess, lenGreater);
    len += MatchLength(scan + len, m + len, lenLimit - len);
    uint32_t* node = &FLinks[2 * (cand & FDictMask)];
    if (len > best && !out.empty()) {
      best = len;
      if (n == out.size()) --n;
      out[n++] = {len, absCur - cand};
    }
    if (len == lenLimit) {
      // As long as the current bytes go: the older node cannot be ordered against them and is
      // dropped, its subtrees taken over.
      *less = node[0];
      *greater = node[1];
      return n;
    }
    if (m[len] < scan[len]) {
      *less = cand;
      less = node + 1;
      cand = node[1];
      lenLess = len;
    } else {
      *greater = cand;
      greater = node;
      cand = node[0];
      lenGreater = len;
    }
  }
  *less = 0;
  *greater = 0;
  return n;
}

}  // namespace lzcodec
