#include "Archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>


namespace unlha {

std::unique_ptr<TFileSource> TFileSource::Open(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<TFileSource>(new TFileSource(fd, static_cast<uint64_t>(st.st_size)));
}

TFileSource::~TFileSource() { ::close(FFd); }

ptrdiff_t TFileSource::ReadAt(uint64_t offset, void* buffer, size_t n) const {
  if (n > kWindow / 4) return ReadDirect(offset, buffer, n);
  if (offset < FWindowOffset || offset + n > FWindowOffset + FWindow.size()) {
    FWindow.resize(kWindow);
    ptrdiff_t got = ReadDirect(offset, FWindow.data(), kWindow);
    FWindow.resize(got < 0 ? 0 : static_cast<size_t>(got));
    FWindowOffset = offset;
    if (got < 0) return -1;
  }
  const size_t count = std::min(n, FWindow.size() - static_cast<size_t>(offset - FWindowOffset));
  std::memcpy(buffer, FWindow.data() + (offset - FWindowOffset), count);
  return static_cast<ptrdiff_t>(count);
}

ptrdiff_t TFileSource::ReadDirect(uint64_t offset, void* buffer, size_t n) const {
  size_t done = 0;
  auto* p = static_cast<char*>(buffer);
  while (done < n) {
    ssize_t r = ::pread(FFd, p + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  return static_cast<ptrdiff_t>(done);
}

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
