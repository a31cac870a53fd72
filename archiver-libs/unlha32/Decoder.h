// Decoders of the LHA methods: -lh0- -lh1- -lh4- -lh5- -lh6- -lh7- -lzs- -lz4- -lz5- (and
// -lhd-, which holds no data). Input is read from a byte range; nothing in it is trusted:
// broken data ends the member with an error, never with a crash, a hang or a runaway buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "BitReader.h"
#include "BlockDecoder.h"
#include "ByteSource.h"
#include "Huffman.h"
#include "LhaHeader.h"
#include "WindowOutput.h"

namespace unlha {

// The LZ machinery shared with the ARJ library.
using lzcodec::TBitReader;
using lzcodec::THuffman;
using lzcodec::TSink;
using lzcodec::TWindowOutput;

// Ok: originalSize bytes delivered; crc holds their CRC-16.
using lzcodec::EDecode;

bool IsSupportedMethod(std::string_view method);

// Decodes packedSize bytes at offset into exactly originalSize bytes.
EDecode Decode(std::string_view method, const TByteSource& src, uint64_t offset, uint64_t packedSize,
               uint64_t originalSize, TSink& sink, uint16_t& crc);

}  // namespace unlha
