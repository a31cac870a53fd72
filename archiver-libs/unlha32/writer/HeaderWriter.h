// Level-2 member headers with the Unix extended headers, as written for every member.
#pragma once
#include <cstdint>
#include <vector>

#include "LhaHeader.h"

namespace unlha {

// Our own extended header on a link whose name holds "|": the length of the link's own name
// in "name|target", so that the split is not guessed.
inline constexpr uint8_t kLinkNameLengthHeader = 0x59;

// The whole header of m, from its size field to the end of the last extended header: method,
// sizes, data CRC, mtime, the name (a folder's in the folder header only; a link as
// "name|target"), Unix mode, owner ids and names. wideSizes adds the 64-bit size header, which
// members of 4 GiB and more need. Its length depends only on the names, owner fields, time and
// wideSizes, so a header written before the data can be rebuilt with the final sizes, CRC and
// method and written over the first one.
std::vector<uint8_t> BuildHeader(const TLhaMember& m, bool wideSizes = false);

} // namespace unlha
