#include "Archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>


namespace unlha {

TMemberScan::TMemberScan(const TByteSource& src) : FSrc(src), FOffset(FindFirstHeader(src, kMaxStubSize)) {}

bool TMemberScan::Next(TLhaMember& m) {
  if (!FOffset) return false;
  m = TLhaMember{};
  uint64_t next = 0;
  const EHeader r = ParseHeader(FSrc, *FOffset, m, next);
  if (r == EHeader::Ok) {
    FOffset = next;
    return true;
  }
  if (r != EHeader::End) {
    FErrorOffset = *FOffset;
    FError = r == EHeader::BadCrc ? kErrHeaderCrc : kErrHeaderBroken;
  }
  FOffset.reset();
  return false;
}

int TArchive::Scan(const TByteSource& src, std::vector<TLhaMember>& members, uint64_t& errorOffset) {
  members.clear();
  TMemberScan scan(src);
  if (!scan.Found()) return kErrNotArcFile;
  TLhaMember m;
  while (scan.Next(m)) members.push_back(std::move(m));
  if (scan.Error() != 0) errorOffset = scan.ErrorOffset();
  return scan.Error();
}

int TArchive::Open(const std::string& path, std::unique_ptr<TArchive>& out, bool listMembers) {
  auto source = TFileSource::Open(path);
  if (!source) return kErrArcFileOpen;
  auto archive = std::unique_ptr<TArchive>(new TArchive());
  archive->FSource = std::move(source);
  if (!listMembers) {
    if (!TMemberScan(*archive->FSource).Found()) return kErrNotArcFile;
    out = std::move(archive);
    return 0;
  }
  int r = Scan(*archive->FSource, archive->FMembers, archive->FScanErrorOffset);
  if (r == kErrNotArcFile) return r;
  archive->FScanError = r;
  out = std::move(archive);
  return 0;
}

TMemberInfo MemberInfoOf(const TLhaMember& m) {
  TMemberInfo info;
  info.name = m.name;
  info.absolute = m.absolute;
  info.kind = m.IsSymlink() ? EMemberKind::Symlink : m.IsDirectory() ? EMemberKind::Directory : EMemberKind::File;
  info.linkTarget = m.linkTarget;
  info.originalSize = m.originalSize;
  info.compressedSize = m.packedSize;
  info.crc = m.crc;
  info.osType = m.osId;
  info.mtime = m.mtime;
  info.dosStamp = m.dosStamp;
  info.atime = m.atime;
  info.ctime = m.ctime;
  info.unixMode = m.unixMode;
  info.dosAttributes = m.dosAttributes;
  info.method = m.method;
  return info;
}

TStamp StampOf(const TLhaMember& m) {
  TStamp stamp{m.mtime, m.atime, m.unixMode, (m.dosAttributes & kDosReadOnly) != 0, {}};
  stamp.owner = {m.uid, m.gid, m.user, m.group};
  return stamp;
}

int ScanMembers(const std::string& path, std::vector<TMemberInfo>& members) {
  std::unique_ptr<TArchive> arc;
  if (const int r = TArchive::Open(path, arc); r != 0) return r;
  members.reserve(arc->Members().size());
  for (const TLhaMember& m : arc->Members()) members.push_back(MemberInfoOf(m));
  return 0;
}

}  // namespace unlha
