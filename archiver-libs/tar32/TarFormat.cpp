#include "TarFormat.h"

#include <archive.h>
#include <unistd.h>

#include <string>

#include "ErrorCodes.h"

namespace tarfmt {
namespace {

void SetupProbe(archive* a) {
  archive_read_support_filter_all(a);
  archive_read_support_format_tar(a);
  archive_read_support_format_raw(a);
}

void SetupTarReader(archive* a) {
  archive_read_support_filter_all(a);
  archive_read_support_format_tar(a);
}

void SetupRawReader(archive* a) {
  archive_read_support_filter_all(a);
  archive_read_support_format_raw(a);
}

const char* MethodName(int type) {
  switch (type) {
    case kTypeTarGzip: return "tgz";
    case kTypeGzip: return "gzip";
    case kTypeTarCompress: return "taz";
    case kTypeCompress: return "compress";
    case kTypeTarBzip2: return "tbz";
    case kTypeBzip2: return "bzip2";
    default: return "tar";
  }
}

void SetupWriter(archive* a) { archive_write_set_format_pax_restricted(a); }

void SetLevel(archive* a, const char* filter, int level) {
  if (level > 0) archive_write_set_filter_option(a, filter, "compression-level", std::to_string(level).c_str());
}

}  // namespace

int ArchiveType(const std::string& path) {
  arclib::TArchiveIn in(SetupProbe);
  if (in.Open(path) != 0) return kTypeNone;
  archive_entry* entry = nullptr;
  const int r = archive_read_next_header(in.Get(), &entry);
  if (r != ARCHIVE_OK && r != ARCHIVE_WARN && r != ARCHIVE_EOF) return kTypeNone;
  const bool tar = (archive_format(in.Get()) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_TAR;
  const bool raw = archive_format(in.Get()) == ARCHIVE_FORMAT_RAW;
  const int filter = archive_filter_count(in.Get()) > 1 ? archive_filter_code(in.Get(), 0) : ARCHIVE_FILTER_NONE;
  switch (filter) {
    case ARCHIVE_FILTER_NONE: return tar ? kTypeTar : kTypeNone;
    case ARCHIVE_FILTER_GZIP: return tar ? kTypeTarGzip : raw ? kTypeGzip : kTypeNone;
    case ARCHIVE_FILTER_COMPRESS: return tar ? kTypeTarCompress : raw ? kTypeCompress : kTypeNone;
    case ARCHIVE_FILTER_BZIP2: return tar ? kTypeTarBzip2 : raw ? kTypeBzip2 : kTypeNone;
    default: return tar ? kTypeTar : kTypeNone;
  }
}

arclib::TReadSetup ReaderFor(int type) {
  switch (type) {
    case kTypeNone: return nullptr;
    case kTypeGzip:
    case kTypeCompress:
    case kTypeBzip2: return SetupRawReader;
    default: return SetupTarReader;
  }
}

int ScanTar(const std::string& path, std::vector<arclib::TMemberInfo>& members) {
  const int type = ArchiveType(path);
  if (type == kTypeNone) return ::access(path.c_str(), R_OK) == 0 ? arclib::kErrNotArcFile : arclib::kErrArcFileOpen;
  const int r = arclib::ScanMembers(path, ReaderFor(type), members);
  for (arclib::TMemberInfo& m : members) m.method = MethodName(type);
  return r;
}

bool IsTarFamily(const char* fileName) { return ArchiveType(fileName) != kTypeNone; }

void SetupTarWriter(archive* a, int) { SetupWriter(a); }

void SetupTarGzipWriter(archive* a, int level) {
  SetupWriter(a);
  archive_write_add_filter_gzip(a);
  SetLevel(a, "gzip", level);
}

void SetupTarBzip2Writer(archive* a, int level) {
  SetupWriter(a);
  archive_write_add_filter_bzip2(a);
  SetLevel(a, "bzip2", level);
}

}  // namespace tarfmt
