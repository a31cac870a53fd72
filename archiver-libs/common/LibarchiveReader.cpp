#include "LibarchiveReader.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#include "ErrorCodes.h"
#include "Names.h"
#include "Notifier.h"
#include "SafeExtract.h"

namespace arclib {
namespace {

constexpr size_t kBlockSize = 64 * 1024;

bool WriteAll(int fd, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

std::string EntryError(archive* a) {
  const char* text = archive_error_string(a);
  return text != nullptr ? text : "cannot read the member";
}

// The process's file-creation mask: from /proc without touching it, else by setting it for a
// moment.
uint32_t CreationMask() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("Umask:")) return static_cast<uint32_t>(std::stoul(line.substr(6), nullptr, 8));
  const mode_t m = ::umask(022);
  ::umask(m);
  return static_cast<uint32_t>(m);
}

// A data error of libarchive as the library's code: CRC and decompression failures apart.
int DataErrorCode(archive* a) {
  const std::string text = EntryError(a);
  if (text.find("CRC") != std::string::npos || text.find("crc") != std::string::npos) return kErrFileCrc;
  if (text.find("nsupported") != std::string::npos) return kErrMethod;
  return kErrBrokenData;
}

// Why the member headers could not be read: an archive whose headers are encrypted apart.
int HeaderErrorCode(archive* a) {
  const std::string text = EntryError(a);
  if (archive_read_has_encrypted_entries(a) > 0 || text.find("ncrypt") != std::string::npos) return kErrEncrypted;
  return kErrHeaderBroken;
}

// A single compressed file (libarchive's raw format) has no stored name: its member is the
// archive's name without the compression's extension, with the archive's time.
void DescribeRawMember(archive* a, const std::string& path, TMemberInfo& m) {
  if (archive_format(a) != ARCHIVE_FORMAT_RAW) return;
  std::string name = path.substr(path.rfind('/') + 1);
  for (const char* ext : {".gz", ".bz2", ".Z", ".xz", ".zst", ".lz", ".lzma", ".GZ", ".BZ2"}) {
    if (name.size() > std::strlen(ext) && name.ends_with(ext)) {
      name.resize(name.size() - std::strlen(ext));
      break;
    }
  }
  if (name == path.substr(path.rfind('/') + 1)) name += ".out";
  m.name = m.rawName = name;
  m.unixMode.reset();
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) m.mtime = st.st_mtime;
}

}  // namespace

TUtf8Locale::TUtf8Locale() : FLocale(newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0))) {
  if (FLocale != static_cast<locale_t>(0)) FPrevious = uselocale(FLocale);
}

TUtf8Locale::~TUtf8Locale() {
  if (FLocale == static_cast<locale_t>(0)) return;
  uselocale(FPrevious);
  freelocale(FLocale);
}

TArchiveIn::TArchiveIn(TReadSetup setup) : FArchive(archive_read_new()) { setup(FArchive); }

TArchiveIn::~TArchiveIn() { archive_read_free(FArchive); }

int TArchiveIn::Open(const std::string& path) {
  if (::access(path.c_str(), R_OK) != 0) return kErrArcFileOpen;
  return archive_read_open_filename(FArchive, path.c_str(), kBlockSize) == ARCHIVE_OK ? 0 : kErrNotArcFile;
}

std::string TArchiveIn::Error() const { return EntryError(FArchive); }

TMemberInfo DescribeEntry(archive_entry* entry) {
  TMemberInfo m;
  const char* raw = archive_entry_pathname(entry);
  if (raw == nullptr) raw = archive_entry_pathname_utf8(entry);
  m.rawName = raw != nullptr ? raw : "";
  m.name = DecodeStoredName(m.rawName);
  while (m.name.size() > 1 && m.name.back() == '/') m.name.pop_back();
  if (m.name.starts_with("./") && m.name.size() > 2) m.name.erase(0, 2);
  switch (archive_entry_filetype(entry)) {
    case AE_IFDIR: m.kind = EMemberKind::Directory; break;
    case AE_IFLNK:
      m.kind = EMemberKind::Symlink;
      if (const char* target = archive_entry_symlink(entry)) m.linkTarget = target;
      break;
    default: m.kind = EMemberKind::File; break;
  }
  if (const char* target = archive_entry_hardlink(entry); target != nullptr && m.kind == EMemberKind::File) {
    m.hardlinkTarget = DecodeStoredName(target);
    if (m.hardlinkTarget.starts_with("./") && m.hardlinkTarget.size() > 2) m.hardlinkTarget.erase(0, 2);
  }
  m.originalSize = archive_entry_size_is_set(entry) ? static_cast<uint64_t>(archive_entry_size(entry)) : 0;
  m.compressedSize = m.originalSize;
  m.mtime = archive_entry_mtime(entry);
  if (archive_entry_atime_is_set(entry)) m.atime = archive_entry_atime(entry);
  if (archive_entry_birthtime_is_set(entry)) m.ctime = archive_entry_birthtime(entry);
  m.unixMode = archive_entry_perm(entry) & 07777;
  m.encrypted = archive_entry_is_encrypted(entry) != 0;
  m.osType = 'U';
  m.dosAttributes = kDosArchive;
  return m;
}

int ScanMembers(const std::string& path, TReadSetup setup, std::vector<TMemberInfo>& members) {
  TArchiveIn in(setup);
  if (const int r = in.Open(path); r != 0) return r;
  archive_entry* entry = nullptr;
  int r = ARCHIVE_OK;
  while ((r = archive_read_next_header(in.Get(), &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
    TMemberInfo m = DescribeEntry(entry);
    DescribeRawMember(in.Get(), path, m);
    if (m.name != "." && !m.name.empty()) members.push_back(std::move(m));
  }
  return r == ARCHIVE_EOF ? 0 : HeaderErrorCode(in.Get());
}

namespace {

class TExtractor {
 public:
  TExtractor(const TExtractRequest& request, TArchiveIn& in, TOutput& out)
      : FReq(request), FIn(in), FOut(out), FMask(request.storesModes ? 0 : CreationMask()) {}

  int Run() {
    TFailure f;
    if (!FDest.Open(FReq.destDir, f)) {
      FOut.PrintableLine(f.message);
      return f.code;
    }
    std::string prefix = FReq.destDir;
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    uint64_t count = 0;
    archive_entry* entry = nullptr;
    int r = ARCHIVE_OK;
    bool stopped = false;
    while (!stopped && ((r = archive_read_next_header(FIn.Get(), &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN)) {
      TMemberInfo m = DescribeEntry(entry);
      DescribeRawMember(FIn.Get(), FReq.archive, m);
      if (m.name == "." || m.name.empty() || !Wanted(m)) continue;
      ++count;
      const std::string attr = AttributeText(m);
      if (const std::string reason = UnsafeNameReason(m.name); !reason.empty()) {
        if (!TNotifier::Instance().Member(ProgressOf(m, "", attr))) return Cancelled();
        stopped = !Fail(m, {kErrUnsafeName, reason});
        continue;
      }
      std::vector<std::string> comps = SplitName(m.name);
      if (comps.empty()) continue;
      if (!FReq.withPaths) {
        if (m.IsDirectory()) continue;
        comps.erase(comps.begin(), comps.end() - 1);
      }
      if (!m.IsDirectory() && FReq.existing != EExistingFile::Replace && FDest.Exists(comps)) {
        if (FReq.existing == EExistingFile::Skip) {
          FOut.PrintableLine("skip   " + prefix + JoinComps(comps) + ": exists");
          continue;
        }
        comps.back() = FreeName(comps);
      }
      const std::string rel = JoinComps(comps);
      if (!TNotifier::Instance().Member(ProgressOf(m, prefix + rel, attr))) return Cancelled();
      f = {};
      TStamp stamp{m.mtime, m.atime, m.unixMode, false, {}};
      if (!FReq.storesModes && stamp.mode) *stamp.mode &= ~FMask;
      if (m.encrypted) {
        f = {kErrEncrypted, "encrypted member: not extracted (no password support)"};
      } else if (m.IsDirectory()) {
        FDest.MakeFolder(comps, stamp, f);
      } else if (m.IsSymlink()) {
        FDest.WriteLink(comps, m.linkTarget, stamp, f);
      } else if (!m.hardlinkTarget.empty() && m.originalSize == 0) {
        WriteHardLink(m, comps, f);
      } else {
        FDest.WriteFile(comps, stamp, [this](int fd, TFailure& failure) { return CopyData(fd, failure); }, f);
      }
      if (f.code != 0)
        stopped = !Fail(m, f);
      else
        FOut.PrintableLine("x      " + prefix + rel);
    }
    FDest.FinishFolders();
    if (!stopped && r != ARCHIVE_EOF) {
      const int code = HeaderErrorCode(FIn.Get());
      FOut.PrintableLine((code == kErrEncrypted ? "encrypted archive: not extracted (no password support): "
                                                : "broken archive: ") +
                         FIn.Error());
      if (FFirstError == 0) FFirstError = code;
    }
    if (FFirstError != 0) return FFirstError;
    if (count == 0 && !FReq.names.empty()) {
      FOut.PrintableLine("no member matches the names given");
      return kErrNoMatch;
    }
    return 0;
  }

 private:
  bool Wanted(const TMemberInfo& m) const {
    if (!Selected(m.name, FReq.names)) return false;
    return std::none_of(FReq.excludes.begin(), FReq.excludes.end(),
                        [&](const std::string& x) { return Selected(m.name, {x}); });
  }

  void WriteHardLink(const TMemberInfo& m, const std::vector<std::string>& comps, TFailure& f) {
    if (const std::string reason = UnsafeNameReason(m.hardlinkTarget); !reason.empty()) {
      f = {kErrUnsafeName, reason + " (hard link target)"};
      return;
    }
    std::vector<std::string> target = SplitName(m.hardlinkTarget);
    if (!FReq.withPaths && !target.empty()) target.erase(target.begin(), target.end() - 1);
    FDest.WriteHardLink(comps, target, f);
  }

  // "name_1.ext", "name_2.ext", ...: the first name nothing exists under.
  std::string FreeName(std::vector<std::string> comps) const {
    const std::string last = comps.back();
    const size_t dot = last.rfind('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? last : last.substr(0, dot);
    const std::string ext = dot == std::string::npos || dot == 0 ? "" : last.substr(dot);
    for (unsigned n = 1;; ++n) {
      comps.back() = stem + "_" + std::to_string(n) + ext;
      if (!FDest.Exists(comps)) return comps.back();
    }
  }

  static std::string JoinComps(const std::vector<std::string>& comps) {
    std::string rel;
    for (const std::string& c : comps) rel += (rel.empty() ? "" : "/") + c;
    return rel;
  }

  bool CopyData(int fd, TFailure& f) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    la_int64_t written = 0;
    int r = ARCHIVE_OK;
    while ((r = archive_read_data_block(FIn.Get(), &block, &size, &offset)) == ARCHIVE_OK) {
      // Sparse members arrive with holes between their blocks.
      if (offset > written && ::lseek(fd, offset, SEEK_SET) < 0) break;
      if (!WriteAll(fd, block, size)) {
        f = {kErrCannotWrite, "cannot write: " + std::string(std::strerror(errno))};
        return false;
      }
      written = offset + static_cast<la_int64_t>(size);
    }
    if (r != ARCHIVE_EOF) {
      f = {DataErrorCode(FIn.Get()), EntryError(FIn.Get())};
      return false;
    }
    if (::ftruncate(fd, written) != 0) {
      f = {kErrCannotWrite, "cannot write: " + std::string(std::strerror(errno))};
      return false;
    }
    return true;
  }

  bool Fail(const TMemberInfo& m, const TFailure& f) {
    FOut.PrintableLine("error  " + DisplayName(m) + ": " + f.message);
    if (FFirstError == 0) FFirstError = f.code;
    return FReq.continueOnError;
  }

  int Cancelled() {
    FDest.FinishFolders();
    FOut.PrintableLine("cancelled");
    return kErrUserCancel;
  }

  const TExtractRequest& FReq;
  TArchiveIn& FIn;
  TOutput& FOut;
  TDestination FDest;
  uint32_t FMask;
  int FFirstError = 0;
};

}  // namespace

int ExtractMembers(const TExtractRequest& request, TReadSetup setup, TOutput& out) {
  TArchiveIn in(setup);
  if (const int r = in.Open(request.archive); r != 0) {
    out.PrintableLine((r == kErrArcFileOpen ? "cannot open archive: " : "not an archive of this format: ") +
                      request.archive);
    return r;
  }
  return TExtractor(request, in, out).Run();
}

int ExtractToMemory(const std::string& path, TReadSetup setup, const std::string& name, uint8_t* buffer,
                    uint32_t size, uint32_t* written, void* time, void* attr) {
  if (written != nullptr) *written = 0;
  TArchiveIn in(setup);
  if (const int r = in.Open(path); r != 0) return r;
  archive_entry* entry = nullptr;
  int r = ARCHIVE_OK;
  while ((r = archive_read_next_header(in.Get(), &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
    TMemberInfo m = DescribeEntry(entry);
    DescribeRawMember(in.Get(), path, m);
    if (m.IsDirectory() || m.IsSymlink() || !m.hardlinkTarget.empty()) continue;
    if (!name.empty() && !Selected(m.name, {name})) continue;
    const std::string attrText = AttributeText(m);
    if (!TNotifier::Instance().Member(ProgressOf(m, "", attrText))) return kErrUserCancel;
    if (m.encrypted) return kErrEncrypted;
    uint64_t total = 0;
    uint32_t used = 0;
    char chunk[kBlockSize];
    la_ssize_t n = 0;
    while ((n = archive_read_data(in.Get(), chunk, sizeof chunk)) > 0) {
      const uint32_t room = buffer != nullptr ? size - used : 0;
      const uint32_t k = static_cast<uint32_t>(std::min<uint64_t>(room, static_cast<uint64_t>(n)));
      if (k > 0) std::memcpy(buffer + used, chunk, k);
      used += k;
      total += static_cast<uint64_t>(n);
    }
    if (written != nullptr) *written = used;
    if (time != nullptr) {
      const time_t t = static_cast<time_t>(m.mtime);
      std::memcpy(time, &t, sizeof t);
    }
    if (attr != nullptr) {
      const uint32_t a = DosAttributes(m);
      std::memcpy(attr, &a, sizeof a);
    }
    if (n < 0) return DataErrorCode(in.Get());
    return total > used ? kErrBufferSmall : 0;
  }
  return r == ARCHIVE_EOF ? kErrNoMatch : HeaderErrorCode(in.Get());
}

TExtractRequest ExtractRequestOf(const TCommandLine& line, bool withPaths) {
  TExtractRequest request;
  request.archive = line.archive;
  request.destDir = line.baseDir;
  request.names = line.names;
  request.withPaths = withPaths;
  return request;
}

int ExtractToMemory(const TCommandLine& line, TReadSetup setup, uint8_t* buffer, uint32_t size, uint32_t* written,
                    void* time, void* attr) {
  const std::string name = line.names.empty() ? std::string() : line.names.front();
  return ExtractToMemory(line.archive, setup, name, buffer, size, written, time, attr);
}

}  // namespace arclib
