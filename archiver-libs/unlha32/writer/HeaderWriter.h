// Level-2 member headers with the Unix extended headers, as written for every member.
#pragma once
#include <cstdint>
#include <vector>

#include "LhaHeader.h"

namespace unlha {

// The whole header of m, from its size field to the end of the last extended header: method,
// sizes, data CRC, mtime, the name (a folder's in the folder header only; a link as
// "name|target"), Unix mode, owner ids and names. Its length depends only on the names and
// owner fields, so a header written before the data can be rebuilt with the final sizes, CRC
// and method and written over the first one.
std::vector<uint8_t> BuildHeader(const TLhaMember& m);

} // namespace unlha
