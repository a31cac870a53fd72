#include "SevenZipFormat.h"

#include <archive.h>

#include <cstring>
#include <fstream>
#include <string>

#include "ErrorCodes.h"
#include "LibarchiveReader.h"

namespace sevenzip {

void SetupSevenZipReader(archive* a) { archive_read_support_format_7zip(a); }

void SetupSevenZipWriter(archive* a, int level) {
  archive_write_set_format_7zip(a);
  archive_write_set_options(a, level == 0 ? "7zip:compression=copy" : "7zip:compression=lzma2");
  if (level > 0) archive_write_set_options(a, ("7zip:compression-level=" + std::to_string(level)).c_str());
}

int ScanSevenZip(const std::string& path, std::vector<arclib::TMemberInfo>& members) {
  const int r = arclib::ScanMembers(path, SetupSevenZipReader, members);
  for (arclib::TMemberInfo& m : members) m.method = "7z";
  return r;
}

bool IsSevenZip(const char* fileName) {
  static constexpr char kSignature[6] = {'7', 'z', '\xBC', '\xAF', '\x27', '\x1C'};
  char head[sizeof kSignature] = {};
  std::ifstream in(fileName, std::ios::binary);
  if (!in.read(head, sizeof head) || std::memcmp(head, kSignature, sizeof head) != 0) return false;
  std::vector<arclib::TMemberInfo> members;
  const int r = ScanSevenZip(fileName, members);
  return r == 0 || r == arclib::kErrEncrypted;
}

}  // namespace sevenzip
