// The CAB format as CAB32 reads it: libarchive's CAB reader (MSZIP, LZX, stored), completed from
// the cabinet's own header with what libarchive does not tell (each member's method, its share
// of its folder's packed size, whether the cabinet is one of a multi-volume set).
#pragma once
#include <string>
#include <vector>

#include "Records.h"

struct archive;

namespace cabfmt {

void SetupCabReader(archive* a);

// What the cabinet header says beyond the member list.
struct TCabHeader {
  bool valid = false;
  bool spanned = false;  // continued from or in another cabinet
};

TCabHeader ReadCabHeader(const std::string& path);

// 0 and every member, or an error code.
int ScanCab(const std::string& path, std::vector<arclib::TMemberInfo>& members);

}  // namespace cabfmt
