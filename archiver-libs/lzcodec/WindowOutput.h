// The output side of the LZ decoders: a history window followed by room for new data, flushed
// to the sink in large pieces. Matches reach at most History() bytes back; the history starts
// filled with a byte of the format's choosing (spaces, as the LHA encoders assume).
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ByteSource.h"

namespace lzcodec {

class TWindowOutput {
 public:
  static constexpr size_t kDefaultHistory = 64 * 1024;
  static constexpr size_t kMaxMatch = 256;

  // history: how far back matches may reach (a power of two, at most a few MiB).
  TWindowOutput(TSink& sink, uint64_t total, size_t history = kDefaultHistory, uint8_t fill = ' ')
      : FHistory(history),
        FLimit(history + std::max(kMinRoom, history)),
        FSink(sink),
        FLeft(total),
        FBuf(FLimit + kMaxMatch),
        FPos(history) {
    std::memset(FBuf.data(), fill, FHistory);
  }

  bool Done() const { return FLeft == 0; }
  uint64_t Left() const { return FLeft; }
  size_t History() const { return FHistory; }

  bool Literal(uint8_t c) {
    FBuf[FPos++] = c;
    --FLeft;
    return FPos < FLimit || Flush();
  }

  // Copies len bytes (at most kMaxMatch) from distance back (1 <= distance <= History());
  // clipped to what is left.
  bool Match(size_t distance, size_t len) {
    if (len > FLeft) len = static_cast<size_t>(FLeft);
    uint8_t* d = FBuf.data() + FPos;
    const uint8_t* s = d - distance;
    if (distance >= len) {
      std::memcpy(d, s, len);
    } else if (distance == 1) {
      std::memset(d, *s, len);  // a run of one byte: the common case of long runs
    } else {
      // The copy overlaps itself: the output repeats its first distance bytes, so copy them,
      // then double what is done from the start of the copy (a multiple of the period).
      std::memcpy(d, s, distance);
      size_t done = distance;
      while (done < len) {
        size_t k = std::min(done, len - done);
        std::memcpy(d + done, d, k);
        done += k;
      }
    }
    FPos += len;
    FLeft -= len;
    return FPos < FLimit || Flush();
  }

  // Delivers what is pending; call once at the end.
  bool Flush() {
    if (FPos > FHistory) {
      const uint8_t* p = FBuf.data() + FHistory;
      size_t n = FPos - FHistory;
      if (!FSink.Put(p, n)) {
        FFailed = true;
        return false;
      }
      std::memmove(FBuf.data(), FBuf.data() + FPos - FHistory, FHistory);
      FPos = FHistory;
    }
    return true;
  }

  bool SinkFailed() const { return FFailed; }

 private:
  // New data is flushed once this much is pending; never less than the history, so that the
  // history's move stays a small share of the work.
  static constexpr size_t kMinRoom = 256 * 1024;

  size_t FHistory;
  size_t FLimit;
  TSink& FSink;
  uint64_t FLeft;
  std::vector<uint8_t> FBuf;
  size_t FPos;
  bool FFailed = false;
};

}  // namespace lzcodec
