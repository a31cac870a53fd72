// The per-method decoders behind Decode().
#pragma once
#include "BitReader.h"
#include "Decoder.h"
#include "WindowOutput.h"

namespace unlha {

// -lh1-: 4 KB window, adaptive Huffman literals and lengths, fixed code for the distance's top bits.
EDecode DecodeLh1(TBitReader& in, TWindowOutput& out);
// -lzs- (2 KB window, bit-packed) and -lz5- (4 KB window, byte-packed with flag bytes).
EDecode DecodeLzs(TBitReader& in, TSink& sink, uint64_t total, uint16_t& crc);
EDecode DecodeLz5(TBitReader& in, TSink& sink, uint64_t total, uint16_t& crc);

using lzcodec::kMaxOverrun;

}  // namespace unlha
