// The output side of the LZ decoders: a history window followed by room for new data, flushed
// to the sink (with its CRC) in large pieces. Matches reach at most kHistory bytes back; the
// history starts filled with spaces, as the LHA encoders assume.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include "Crc16.h"
#include "Decoder.h"

namespace unlha {

class TWindowOutput {
 public:
  static constexpr size_t kHistory = 64 * 1024;
  static constexpr size_t kRoom = 256 * 1024;
  static constexpr size_t kMaxMatch = 256;

  TWindowOutput(TSink& sink, uint64_t total) : FSink(sink), FLeft(total), FBuf(kHistory + kRoom + kMaxMatch) {
    std::memset(FBuf.data(), ' ', kHistory);
  }

  bool Done() const { return FLeft == 0; }
  uint64_t Left() const { return FLeft; }

  bool Literal(uint8_t c) {
    FBuf[FPos++] = c;
    --FLeft;
    return FPos < kLimit || Flush();
  }

  // Copies len bytes from distance back (1 <= distance <= kHistory); clipped to what is left.
  bool Match(size_t distance, size_t len) {
    if (len > FLeft) len = static_cast<size_t>(FLeft);
    uint8_t* d = FBuf.data() + FPos;
    const uint8_t* s = d - distance;
    if (distance >= len) {
      std::memcpy(d, s, len);
    } else {
      for (size_t k = 0; k < len; ++k) d[k] = s[k];
    }
    FPos += len;
    FLeft -= len;
    return FPos < kLimit || Flush();
  }

  // Delivers what is pending; call once at the end.
  bool Flush() {
    if (FPos > kHistory) {
      const uint8_t* p = FBuf.data() + kHistory;
      size_t n = FPos - kHistory;
      FCrc = Crc16(FCrc, {p, n});
      if (!FSink.Put(p, n)) {
        FFailed = true;
        return false;
      }
      std::memmove(FBuf.data(), FBuf.data() + FPos - kHistory, kHistory);
      FPos = kHistory;
    }
    return true;
  }

  bool SinkFailed() const { return FFailed; }
  uint16_t Crc() const { return FCrc; }

 private:
  static constexpr size_t kLimit = kHistory + kRoom;

  TSink& FSink;
  uint64_t FLeft;
  std::vector<uint8_t> FBuf;
  size_t FPos = kHistory;
  uint16_t FCrc = 0;
  bool FFailed = false;
};

}  // namespace unlha
