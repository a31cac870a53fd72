// The ZIP format as the three ZIP libraries read it: libarchive's seekable ZIP reader (central
// directory, Zip64, self-extractor prefixes), completed from the central directory with what
// libarchive does not tell (packed sizes, CRCs, methods).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "Records.h"

struct archive;

namespace zipfmt {

void SetupZipReader(archive* a);
// 0 and every member, or an error code.
int ScanZip(const std::string& path, std::vector<arclib::TMemberInfo>& members);
// Undoes the program's name escapes: a leading "[-]" is "-", every "[[]" is "[".
std::string UnescapeName(std::string_view name);

}  // namespace zipfmt
