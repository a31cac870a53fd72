// The ARJ methods: 0 stored; 1, 2 and 3 LZ77 with static Huffman blocks (the block format of
// LHA's -lh7-, over ARJ's 26 KiB window); 4 LZ77 with unary-prefixed lengths and distances.
#pragma once
#include <cstdint>

#include "ArjFormat.h"
#include "BlockDecoder.h"
#include "ByteSource.h"

namespace unarj {

inline constexpr uint8_t kMethodStored = 0;
inline constexpr uint8_t kMethodFastest = 4;

using lzcodec::EDecode;

// Decodes the member's packed data into exactly its original size, with the CRC-32 of what was
// delivered in crc (compare it with the header's).
EDecode DecodeMember(const lzcodec::TByteSource& src, const TArjMember& m, lzcodec::TSink& sink, uint32_t& crc);

// Method 4 alone, for the fuzzer: packedSize bytes at offset into total bytes.
EDecode DecodeFastest(lzcodec::TBitReader& in, lzcodec::TWindowOutput& out);

}  // namespace unarj
