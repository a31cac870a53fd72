#include "ArjDecoder.h"

#include <algorithm>
#include <vector>

namespace unarj {
namespace {

// The position code of methods 1 to 3: one symbol per distance bit up to 16, counted in 5 bits.
constexpr int kNp = 17;
constexpr int kPbit = 5;
constexpr size_t kHistory = 32 * 1024;  // holds ARJ's 26624-byte window

// Passes data on, keeping its CRC-32.
class TCrc32Sink final : public lzcodec::TSink {
 public:
  explicit TCrc32Sink(lzcodec::TSink& next) : FNext(next) {}
  bool Put(const uint8_t* data, size_t n) override {
    FCrc = Crc32(FCrc, data, n);
    return FNext.Put(data, n);
  }
  uint32_t Crc() const { return FCrc; }

 private:
  lzcodec::TSink& FNext;
  uint32_t FCrc = 0;
};

EDecode CopyStored(const lzcodec::TByteSource& src, uint64_t offset, uint64_t size, lzcodec::TSink& sink) {
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(size, 256 * 1024)));
  while (size > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, buf.size()));
    const ptrdiff_t got = src.ReadAt(offset, buf.data(), n);
    if (got < 0) return EDecode::ReadFailed;
    if (static_cast<size_t>(got) != n) return EDecode::Broken;
    if (!sink.Put(buf.data(), n)) return EDecode::SinkFailed;
    offset += n;
    size -= n;
  }
  return EDecode::Ok;
}

// A value coded as a unary prefix of up to (stop - start) one-bits, each adding the next power
// of two from 2^start, then as many plain bits as the prefix reached.
uint32_t UnaryPrefixed(lzcodec::TBitReader& in, int start, int stop) {
  uint32_t plus = 0;
  uint32_t power = 1u << start;
  int width = start;
  for (; width < stop; ++width) {
    if (in.Bits(1) == 0) break;
    plus += power;
    power <<= 1;
  }
  return plus + in.Bits(width);
}

}  // namespace

EDecode DecodeFastest(lzcodec::TBitReader& in, lzcodec::TWindowOutput& out) {
  while (!out.Done()) {
    const uint32_t c = UnaryPrefixed(in, 0, 7);
    if (c == 0) {
      if (!out.Literal(static_cast<uint8_t>(in.Bits(8)))) return EDecode::SinkFailed;
    } else {
      const size_t len = c - 1 + 3;
      const size_t dist = UnaryPrefixed(in, 9, 13) + size_t{1};
      if (dist > out.History()) return EDecode::Broken;
      if (!out.Match(dist, len)) return EDecode::SinkFailed;
    }
    if (in.Overrun() > lzcodec::kMaxOverrun) return in.Failed() ? EDecode::ReadFailed : EDecode::Broken;
  }
  return out.Flush() ? EDecode::Ok : EDecode::SinkFailed;
}

EDecode DecodeMember(const lzcodec::TByteSource& src, const TArjMember& m, lzcodec::TSink& sink, uint32_t& crc) {
  TCrc32Sink crcSink(sink);
  EDecode r = EDecode::Ok;
  if (m.method == kMethodStored) {
    // Stored: the two sizes must agree, or the member is damaged.
    r = m.packedSize != m.originalSize ? EDecode::Broken : CopyStored(src, m.dataOffset, m.packedSize, crcSink);
  } else if (m.method > kMethodFastest) {
    r = EDecode::UnknownMethod;
  } else if (m.originalSize != 0) {
    lzcodec::TBitReader in(src, m.dataOffset, m.packedSize);
    // ARJ's window starts empty: a valid stream never reaches before its first byte.
    lzcodec::TWindowOutput out(crcSink, m.originalSize, kHistory, 0);
    r = m.method == kMethodFastest ? DecodeFastest(in, out) : lzcodec::DecodeBlocks(kNp, kPbit, in, out);
    if (out.SinkFailed()) r = EDecode::SinkFailed;
  }
  crc = crcSink.Crc();
  return r;
}

}  // namespace unarj
