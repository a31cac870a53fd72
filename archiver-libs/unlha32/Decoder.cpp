#include "Decoder.h"

#include <algorithm>
#include <vector>

#include "Crc16.h"
#include "Methods.h"

namespace unlha {
namespace {

int LhDictionaryBits(std::string_view method) {
  if (method == "-lh4-") return 12;
  if (method == "-lh5-") return 13;
  if (method == "-lh6-") return 15;
  if (method == "-lh7-") return 16;
  if (method == "-lhx-") return 20;  // the Windows LHA library's variant: a 1 MiB window
  return 0;
}

EDecode CopyStored(const TByteSource& src, uint64_t offset, uint64_t size, TSink& sink, uint16_t& crc) {
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<uint64_t>(size, 256 * 1024)));
  crc = 0;
  while (size > 0) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(size, buf.size()));
    ptrdiff_t got = src.ReadAt(offset, buf.data(), n);
    if (got < 0) return EDecode::ReadFailed;
    if (static_cast<size_t>(got) != n) return EDecode::Broken;
    crc = Crc16(crc, {buf.data(), n});
    if (!sink.Put(buf.data(), n)) return EDecode::SinkFailed;
    offset += n;
    size -= n;
  }
  return EDecode::Ok;
}

// Passes data on, keeping its CRC-16.
class TCrc16Sink final : public TSink {
 public:
  explicit TCrc16Sink(TSink& next) : FNext(next) {}
  bool Put(const uint8_t* data, size_t n) override {
    FCrc = Crc16(FCrc, {data, n});
    return FNext.Put(data, n);
  }
  uint16_t Crc() const { return FCrc; }

 private:
  TSink& FNext;
  uint16_t FCrc = 0;
};

}  // namespace

bool IsSupportedMethod(std::string_view method) {
  return LhDictionaryBits(method) != 0 || method == "-lh0-" || method == "-lh1-" || method == "-lhd-" ||
         method == "-lzs-" || method == "-lz4-" || method == "-lz5-";
}

EDecode Decode(std::string_view method, const TByteSource& src, uint64_t offset, uint64_t packedSize,
               uint64_t originalSize, TSink& sink, uint16_t& crc) {
  crc = 0;
  if (method == "-lhd-") return EDecode::Ok;
  if (method == "-lh0-" || method == "-lz4-") {
    // Stored: the two sizes must agree, or the member is damaged.
    if (packedSize != originalSize) return EDecode::Broken;
    return CopyStored(src, offset, packedSize, sink, crc);
  }
  if (!IsSupportedMethod(method)) return EDecode::UnknownMethod;
  if (originalSize == 0) return EDecode::Ok;
  TBitReader in(src, offset, packedSize);
  if (method == "-lzs-") return DecodeLzs(in, sink, originalSize, crc);
  if (method == "-lz5-") return DecodeLz5(in, sink, originalSize, crc);
  int bits = LhDictionaryBits(method);
  TCrc16Sink crcSink(sink);
  TWindowOutput out(crcSink, originalSize, std::max(TWindowOutput::kDefaultHistory, size_t{1} << bits));
  // The position code has one symbol per dictionary bit and one for distance 1.
  const int np = bits + 1;
  EDecode r = method == "-lh1-" ? DecodeLh1(in, out) : lzcodec::DecodeBlocks(np, np <= 15 ? 4 : 5, in, out);
  if (out.SinkFailed()) return EDecode::SinkFailed;
  crc = crcSink.Crc();
  return r;
}

}  // namespace unlha
