#include "ZipWriter.h"

#include <archive.h>

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

int PackFiles(const arclib::TPackRequest& request, arclib::TOutput& out) {
  return arclib::PackFiles(request, SetupZipReader, SetupZipWriter, out);
}

}  // namespace zipfmt
