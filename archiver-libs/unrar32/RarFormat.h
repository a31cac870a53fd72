// The RAR format as UNRAR32 reads it: libarchive's RAR 4 and RAR 5 readers (solid archives,
// links, folders), completed from the archive's main header with what libarchive does not
// tell up front: the format version, whether the archive is one volume of a set, whether its
// headers are encrypted.
#pragma once
#include <string>
#include <vector>

#include "Records.h"

struct archive;

namespace rarfmt {

void SetupRarReader(archive* a);

struct TRarHeader {
  int version = 0;  // 4 or 5; 0 = no RAR signature within the searched prefix
  bool volume = false;
  bool headersEncrypted = false;
};

TRarHeader ReadRarHeader(const std::string& path);

// 0 and every member (none when the headers are encrypted), or an error code.
int ScanRar(const std::string& path, std::vector<arclib::TMemberInfo>& members);

}  // namespace rarfmt
