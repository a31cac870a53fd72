// The static-Huffman block format of LHA's -lh4- to -lh7- and ARJ's methods 1 to 3: 256
// literals and match lengths 3 to 256 in one code, distances as a position code of np symbols
// (its count stored in pbit bits) followed by the distance's lower bits.
#pragma once
#include "BitReader.h"
#include "WindowOutput.h"

namespace lzcodec {

enum class EDecode {
  Ok,             // every byte delivered
  UnknownMethod,  // the method is not one of the format's
  Broken,         // compressed data is malformed or ends too early
  ReadFailed,     // the source could not be read
  SinkFailed,     // the sink refused data
};

// More than this many bytes read past the packed data is damage, not look-ahead.
inline constexpr uint64_t kMaxOverrun = 16;

// Decodes blocks until out has received all its bytes.
EDecode DecodeBlocks(int np, int pbit, TBitReader& in, TWindowOutput& out);

}  // namespace lzcodec
