// The output side of the LZ decoders: a history window followed by room for new data, flushed
// to the sink in large pieces. Matches reach at most History() bytes back; the history starts
// filled with a byte of the format's choosing (spaces, as the LHA encoders assume). The buffer
// is sized by the member, not by the window: a member of 50 bytes costs about 100, so that an
// archive of many small members is not a great many window clears.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "ByteSource.h"

namespace lzcodec {

class TWindowOutput {
 public:
  static constexpr size_t kDefaultHistory = 64 * 1024;
  static constexpr size_t kMaxMatch = 256;

  // history: how far back matches may reach (a power of two, at most a few MiB).
  TWindowOutput(TSink& sink, uint64_t total, size_t history = kDefaultHistory, uint8_t fill = ' ')
      : FHistory(history),
        FKeep(static_cast<size_t>(std::min<uint64_t>(history, total))),
        FLimit(FKeep + static_cast<size_t>(std::min<uint64_t>(std::max(kMinRoom, history), total))),
        FSink(sink),
        FLeft(total),
        FFill(fill),
        FBuf(std::make_unique_for_overwrite<uint8_t[]>(FLimit + kMaxMatch + kChunk)),
        FPos(FKeep) {
    std::memset(FBuf.get(), fill, FKeep);
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
    uint8_t* d = FBuf.get() + FPos;
    if (distance > FPos) {
      // Only a member shorter than the window keeps less history than a match may reach; what
      // lies before the buffer's start is then all the initial fill.
      const size_t before = std::min(len, distance - FPos);
      std::memset(d, FFill, before);
      Copy(d + before, distance, len - before);
    } else {
      Copy(d, distance, len);
    }
    FPos += len;
    FLeft -= len;
    return FPos < FLimit || Flush();
  }

  // Delivers what is pending; call once at the end.
  bool Flush() {
    if (FPos > FKeep) {
      const uint8_t* p = FBuf.get() + FKeep;
      size_t n = FPos - FKeep;
      if (!FSink.Put(p, n)) {
        FFailed = true;
        return false;
      }
      std::memmove(FBuf.get(), FBuf.get() + FPos - FKeep, FKeep);
      FPos = FKeep;
    }
    return true;
  }

  bool SinkFailed() const { return FFailed; }

 private:
  // New data is flushed once this much is pending; never less than the history, so that the
  // history's move stays a small share of the work.
  static constexpr size_t kMinRoom = 256 * 1024;

  static constexpr size_t kChunk = 16;

  // len bytes at d from distance back, all of them inside the buffer; up to kChunk - 1 bytes
  // after them may be overwritten.
  static void Copy(uint8_t* d, size_t distance, size_t len) {
    const uint8_t* s = d - distance;
    if (distance >= kChunk) {
      // Whole chunks, the last running past len into the buffer's slack: a chunk never reads
      // what it writes itself, and those before it are written by then.
      for (size_t k = 0; k < len; k += kChunk) std::memcpy(d + k, s + k, kChunk);
    } else if (distance >= len) {
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
  }

  size_t FHistory;
  size_t FKeep;   // history kept in the buffer: the window, or the whole member when shorter
  size_t FLimit;
  TSink& FSink;
  uint64_t FLeft;
  uint8_t FFill;
  std::unique_ptr<uint8_t[]> FBuf;
  size_t FPos;
  bool FFailed = false;
};

}  // namespace lzcodec
