#include "ZipWriter.h"

#include <archive.h>
#include <unistd.h>

#include <set>

#include "ErrorCodes.h"
#include "ZipFormat.h"

namespace zipfmt {

void SetupZipWriter(archive* a, int level) {
  archive_write_set_format_zip(a);
  archive_write_set_options(a, "zip:hdrcharset=UTF-8");
  if (level == 0) {
    archive_write_set_options(a, "zip:compression=store");
  } else {
    archive_write_set_options(a, "zip:compression=deflate");
    if (level > 0) archive_write_set_options(a, ("zip:compression-level=" + std::to_string(level)).c_str());
  }
}

int PackFiles(const TPackRequest& request, arclib::TOutput& out) {
  std::vector<arclib::TPackItem> items;
  const int collected = arclib::CollectPackItems(request.baseDir, request.names, request.collect, items, out);
  if (items.empty()) {
    out.Line("nothing to pack");
    return collected != 0 ? collected : arclib::kErrNoMatch;
  }
  std::set<std::string> replaced;
  for (const arclib::TPackItem& item : items) replaced.insert(item.name);
  arclib::TCopySource copy{request.archive, SetupZipReader,
                           [&replaced](const arclib::TMemberInfo& m) { return replaced.count(m.name) == 0; }};
  const bool exists = ::access(request.archive.c_str(), F_OK) == 0;
  const int written = arclib::WriteArchive(request.archive, SetupZipWriter, request.level, items,
                                           exists ? &copy : nullptr, out);
  return written != 0 ? written : collected;
}

}  // namespace zipfmt
