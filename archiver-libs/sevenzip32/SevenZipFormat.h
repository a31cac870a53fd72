// The 7z format as lib7-zip32 reads and writes it, through libarchive.
#pragma once
#include <string>
#include <vector>

#include "Records.h"

struct archive;

namespace sevenzip {

void SetupSevenZipReader(archive* a);
// LZMA2 at the given level (-1 the default); level 0 stores.
void SetupSevenZipWriter(archive* a, int level);
// 0 and every member, or an error code (kErrEncrypted for an archive whose headers are encrypted).
int ScanSevenZip(const std::string& path, std::vector<arclib::TMemberInfo>& members);
// A 7z archive: its signature is there and its headers can be read (or are encrypted).
bool IsSevenZip(const char* fileName);

}  // namespace sevenzip
