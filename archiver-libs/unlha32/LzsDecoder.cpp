// The LArc methods. Both address their window by absolute ring position:
// -lzs-: 2 KB ring starting at 2048-17; a 1 bit is followed by a literal byte, a 0 bit by an
//        11-bit position and a 4-bit length (+2).
// -lz5-: 4 KB ring starting at 4096-18 and preset with a fixed pattern; each flag byte (low bit
//        first) says literal byte (1) or a 2-byte match: 12-bit position, 4-bit length (+3).
#include <vector>

#include "Crc16.h"
#include "Methods.h"

namespace unlha {
namespace {

class TRingOutput {
 public:
  TRingOutput(TSink& sink, uint64_t total, size_t ringSize)
      : FSink(sink), FLeft(total), FRing(ringSize, ' '), FMask(ringSize - 1) {
    FOut.reserve(kChunk);
  }

  std::vector<uint8_t>& Ring() { return FRing; }
  void SetPosition(size_t r) { FPos = r; }
  bool Done() const { return FLeft == 0; }

  bool Put(uint8_t c) {
    FRing[FPos] = c;
    FPos = (FPos + 1) & FMask;
    FOut.push_back(c);
    --FLeft;
    return FOut.size() < kChunk || Flush();
  }
  bool Copy(size_t from, size_t len) {
    for (size_t k = 0; k < len && FLeft > 0; ++k)
      if (!Put(FRing[(from + k) & FMask])) return false;
    return true;
  }
  bool Flush() {
    FCrc = Crc16(FCrc, FOut);
    bool ok = FOut.empty() || FSink.Put(FOut.data(), FOut.size());
    FOut.clear();
    return ok;
  }
  uint16_t Crc() const { return FCrc; }

 private:
  static constexpr size_t kChunk = 64 * 1024;
  TSink& FSink;
  uint64_t FLeft;
  std::vector<uint8_t> FRing;
  size_t FMask;
  size_t FPos = 0;
  std::vector<uint8_t> FOut;
  uint16_t FCrc = 0;
};

EDecode Finish(TRingOutput& out, uint16_t& crc) {
  if (!out.Flush()) return EDecode::SinkFailed;
  crc = out.Crc();
  return EDecode::Ok;
}

}  // namespace

EDecode DecodeLzs(TBitReader& in, TSink& sink, uint64_t total, uint16_t& crc) {
  TRingOutput out(sink, total, 2048);
  out.SetPosition(2048 - 17);
  while (!out.Done()) {
    bool ok = in.Bits(1) ? out.Put(static_cast<uint8_t>(in.Bits(8))) : [&] {
      size_t pos = in.Bits(11);
      size_t len = in.Bits(4) + 2;
      return out.Copy(pos, len);
    }();
    if (!ok) return EDecode::SinkFailed;
    if (in.Overrun() > kMaxOverrun) return in.Failed() ? EDecode::ReadFailed : EDecode::Broken;
  }
  return Finish(out, crc);
}

EDecode DecodeLz5(TBitReader& in, TSink& sink, uint64_t total, uint16_t& crc) {
  TRingOutput out(sink, total, 4096);
  std::vector<uint8_t>& ring = out.Ring();
  size_t p = 0;
  for (int i = 0; i < 256; ++i)
    for (int j = 0; j < 13; ++j) ring[p++] = static_cast<uint8_t>(i);
  for (int i = 0; i < 256; ++i) ring[p++] = static_cast<uint8_t>(i);
  for (int i = 0; i < 256; ++i) ring[p++] = static_cast<uint8_t>(255 - i);
  for (int i = 0; i < 128; ++i) ring[p++] = 0;
  out.SetPosition(4096 - 18);
  while (!out.Done()) {
    int flags = in.Byte();
    for (int bit = 0; bit < 8 && !out.Done(); ++bit, flags >>= 1) {
      bool ok = true;
      if (flags & 1) {
        ok = out.Put(static_cast<uint8_t>(in.Byte()));
      } else {
        size_t lo = static_cast<size_t>(in.Byte());
        size_t hi = static_cast<size_t>(in.Byte());
        ok = out.Copy(lo | ((hi & 0xF0) << 4), (hi & 0x0F) + 3);
      }
      if (!ok) return EDecode::SinkFailed;
    }
    if (in.Overrun() > kMaxOverrun) return in.Failed() ? EDecode::ReadFailed : EDecode::Broken;
  }
  return Finish(out, crc);
}

}  // namespace unlha
