#include "Archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ErrorCodes.h"

namespace unlha {

int TArchive::Scan(const TByteSource& src, std::vector<TLhaMember>& members, uint64_t& errorOffset) {
  members.clear();
  std::optional<uint64_t> first = FindFirstHeader(src, kMaxStubSize);
  if (!first) return kErrNotArcFile;
  uint64_t offset = *first;
  for (;;) {
    TLhaMember m;
    uint64_t next = 0;
    EHeader r = ParseHeader(src, offset, m, next);
    if (r == EHeader::End) return 0;
    if (r != EHeader::Ok) {
      errorOffset = offset;
      return r == EHeader::BadCrc ? kErrHeaderCrc : kErrHeaderBroken;
    }
    members.push_back(std::move(m));
    offset = next;
  }
}

int TArchive::Open(const std::string& path, std::unique_ptr<TArchive>& out) {
  auto source = TFileSource::Open(path);
  if (!source) return kErrArcFileOpen;
  auto archive = std::unique_ptr<TArchive>(new TArchive());
  archive->FSource = std::move(source);
  int r = Scan(*archive->FSource, archive->FMembers, archive->FScanErrorOffset);
  if (r == kErrNotArcFile) return r;
  archive->FScanError = r;
  out = std::move(archive);
  return 0;
}

}  // namespace unlha
