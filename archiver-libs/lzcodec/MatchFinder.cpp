#include "MatchFinder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lzcodec {
namespace {

// Where absolute window positions are moved down, far below 2^32 less a window.
constexpr uint32_t kRebaseAt = 1u << 31;

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
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

TMatchFinder::TMatchFinder(const TParams& params)
    : FP(params),
      FDict(1u << params.dictBits),
      FDictMask(FDict - 1),
      FWinSize(2 * FDict + 2 * params.lookahead),
      FBase(FDict),
      FHashShift(32 - static_cast<uint32_t>(params.hashBits)) {
  FWin.assign(FWinSize + 16, 0);
  FHead.assign(size_t{1} << FP.hashBits, 0);
  FPrev.assign(FDict, 0);
}

uint32_t TMatchFinder::Hash(uint32_t i) const {
  return ((Load32(&FWin[i]) & 0xFFFFFFu) * 2654435761u) >> FHashShift;
}

uint32_t TMatchFinder::Insert(uint32_t i) {
  const uint32_t h = Hash(i);
  const uint32_t abs = FBase + i;
  const uint32_t old = FHead[h];
  FPrev[abs & FDictMask] = old;
  FHead[h] = abs;
  return old;
}

uint32_t TMatchFinder::LongestMatch(uint32_t cand, uint32_t prevLen, uint32_t& dist) const {
  const uint32_t maxLen = std::min(FP.maxMatch, Lookahead());
  const uint32_t nice = std::min<uint32_t>(static_cast<uint32_t>(FP.niceLength), maxLen);
  uint32_t best = prevLen;
  if (best >= maxLen) return best;
  uint32_t chain = static_cast<uint32_t>(FP.maxChain);
  if (prevLen >= static_cast<uint32_t>(FP.goodLength)) chain >>= 2;
  const uint32_t absCur = FBase + FCur;
  const uint32_t limit = absCur - FP.maxDist;
  const uint8_t* scan = &FWin[FCur];
  do {
    const uint8_t* m = &FWin[cand - FBase];
    if (m[best] != scan[best] || m[best - 1] != scan[best - 1] || m[0] != scan[0] || m[1] != scan[1])
      continue;
    const uint32_t len = MatchLength(scan, m, maxLen);
    if (len > best) {
      best = len;
      dist = absCur - cand;
      if (len >= nice) break;
    }
  } while ((cand = FPrev[cand & FDictMask]) >= limit && --chain != 0);
  return best;
}

void TMatchFinder::Skip(uint32_t n) {
  const uint32_t end = FCur + n;
  const uint32_t insertEnd = std::min(end, FFill - kMinMatch + 1);
  for (uint32_t i = FCur + 1; i < insertEnd; ++i) Insert(i);
  FCur = end;
}

void TMatchFinder::Slide() {
  const uint32_t keep = std::min(FCur, FDict + 1);
  const uint32_t shift = FCur - keep;
  if (shift == 0) return;
  std::memmove(FWin.data(), FWin.data() + shift, FFill - shift);
  FBase += shift;
  FCur -= shift;
  FFill -= shift;
  // Absolute positions are 32 bits: before they can wrap, every one is moved down so that
  // FBase is FDict again. Positions more than a window behind become 0, the end of a chain.
  if (FBase >= kRebaseAt) {
    const uint32_t delta = FBase - FDict;
    for (uint32_t& h : FHead) h = h > delta ? h - delta : 0;
    for (uint32_t& q : FPrev) q = q > delta ? q - delta : 0;
    FBase = FDict;
  }
}

size_t TMatchFinder::Fill(std::span<const uint8_t> data) {
  if (FFill == FWinSize) Slide();
  const size_t n = std::min<size_t>(data.size(), FWinSize - FFill);
  std::memcpy(&FWin[FFill], data.data(), n);
  FFill += static_cast<uint32_t>(n);
  return n;
}

}  // namespace lzcodec
