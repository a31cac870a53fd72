#include "ArjFormat.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "ErrorCodes.h"
#include "Names.h"

namespace unarj {
namespace {

// Where the main header is looked for: self-extractor stubs come before it. Each candidate
// costs a header's CRC, so a file full of header ids is given up on after a bounded number.
constexpr uint64_t kSearchLimit = 1024 * 1024;
constexpr int kMaxCandidates = 4096;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

bool ReadExact(const lzcodec::TByteSource& src, uint64_t offset, uint8_t* out, size_t n) {
  return src.ReadAt(offset, out, n) == static_cast<ptrdiff_t>(n);
}

enum class EHeader { Ok, End, Broken, BadCrc };

// One header at offset: the basic header's bytes (without id, size and CRC) and where the
// next thing (data, or the next header) begins.
EHeader ReadHeader(const lzcodec::TByteSource& src, uint64_t offset, std::vector<uint8_t>& basic, uint64_t& next) {
  uint8_t head[4];
  if (!ReadExact(src, offset, head, 4) || head[0] != kHeaderId0 || head[1] != kHeaderId1) return EHeader::Broken;
  const size_t size = Le16(head + 2);
  if (size == 0) {
    next = offset + 4;
    return EHeader::End;
  }
  if (size > kMaxBasicHeader || size < kFirstHeaderSize) return EHeader::Broken;
  basic.resize(size + 4);
  if (!ReadExact(src, offset + 4, basic.data(), size + 4)) return EHeader::Broken;
  if (Crc32(0, basic.data(), size) != Le32(basic.data() + size)) return EHeader::BadCrc;
  basic.resize(size);
  if (basic[0] > size) return EHeader::Broken;
  // Extended headers: a size, its bytes and their CRC-32, until a size of 0.
  uint64_t at = offset + 4 + size + 4;
  for (;;) {
    uint8_t ext[2];
    if (!ReadExact(src, at, ext, 2)) return EHeader::Broken;
    at += 2;
    const uint16_t extSize = Le16(ext);
    if (extSize == 0) break;
    at += uint64_t{extSize} + 4;
    if (at > src.Size()) return EHeader::Broken;
  }
  next = at;
  return EHeader::Ok;
}

// The name and comment after the fixed fields; false when the name has no end.
bool NameOf(const std::vector<uint8_t>& basic, std::string& name) {
  const size_t start = basic[0];
  const auto end = std::find(basic.begin() + static_cast<ptrdiff_t>(start), basic.end(), uint8_t{0});
  if (end == basic.end()) return false;
  name.assign(basic.begin() + static_cast<ptrdiff_t>(start), end);
  return true;
}

std::optional<uint64_t> FindMainHeader(const lzcodec::TByteSource& src) {
  const uint64_t limit = std::min<uint64_t>(src.Size(), kSearchLimit);
  if (limit < 2) return std::nullopt;
  std::vector<uint8_t> buf(static_cast<size_t>(limit));
  if (!ReadExact(src, 0, buf.data(), buf.size())) return std::nullopt;
  std::vector<uint8_t> basic;
  int candidates = 0;
  for (size_t i = 0; i + 1 < buf.size(); ++i) {
    if (buf[i] != kHeaderId0 || buf[i + 1] != kHeaderId1) continue;
    if (++candidates > kMaxCandidates) break;
    uint64_t next = 0;
    // The main header is the one whose CRC holds and whose file type is the comment type.
    if (ReadHeader(src, i, basic, next) == EHeader::Ok && basic[6] == 2) return i;
  }
  return std::nullopt;
}

std::string Where(uint64_t offset) { return " (header at byte " + std::to_string(offset) + ")"; }

}  // namespace

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t n) {
  while (n > 0) {
    const uInt k = static_cast<uInt>(std::min<size_t>(n, std::numeric_limits<uInt>::max()));
    crc = static_cast<uint32_t>(::crc32(crc, data, k));
    data += k;
    n -= k;
  }
  return crc;
}

int ReadArchive(const lzcodec::TByteSource& src, TArjArchive& arc, std::string& why) {
  arc = TArjArchive{};
  const std::optional<uint64_t> start = FindMainHeader(src);
  if (!start) {
    why = "not an ARJ archive";
    return arclib::kErrNotArcFile;
  }
  std::vector<uint8_t> basic;
  uint64_t at = 0;
  ReadHeader(src, *start, basic, at);
  arc.flags = basic[4];
  NameOf(basic, arc.name);
  for (;;) {
    const uint64_t headerAt = at;
    uint64_t next = 0;
    switch (ReadHeader(src, headerAt, basic, next)) {
      case EHeader::End: return 0;
      case EHeader::Broken:
        why = "broken or truncated header" + Where(headerAt);
        return arclib::kErrHeaderBroken;
      case EHeader::BadCrc:
        why = "header CRC mismatch" + Where(headerAt);
        return arclib::kErrHeaderBroken;
      case EHeader::Ok: break;
    }
    TArjMember m;
    if (basic[0] < kFirstHeaderSize || !NameOf(basic, m.rawName)) {
      why = "broken header" + Where(headerAt);
      return arclib::kErrHeaderBroken;
    }
    m.hostOs = basic[3];
    m.flags = basic[4];
    m.method = basic[5];
    m.fileType = basic[6];
    m.stamp = Le32(&basic[8]);
    m.packedSize = Le32(&basic[12]);
    m.originalSize = Le32(&basic[16]);
    m.crc = Le32(&basic[20]);
    m.accessMode = Le16(&basic[26]);
    m.headerOffset = headerAt;
    m.dataOffset = next;
    if (next + m.packedSize > src.Size()) {
      why = "member data runs past the end of the archive" + Where(headerAt);
      return arclib::kErrHeaderBroken;
    }
    at = next + m.packedSize;
    arc.members.push_back(std::move(m));
  }
}

int64_t StampTime(uint8_t hostOs, uint32_t stamp) {
  return hostOs == kHostUnix ? static_cast<int64_t>(stamp) : arclib::DosStampToUnix(stamp);
}

arclib::TMemberInfo Describe(const TArjMember& m) {
  arclib::TMemberInfo info;
  std::string name = m.rawName;
  // DOS versions store "\" unless they say they changed it; either way it separates folders.
  std::replace(name.begin(), name.end(), '\\', '/');
  info.rawName = m.rawName;
  info.name = arclib::DecodeStoredName(name);
  while (info.name.size() > 1 && info.name.back() == '/') info.name.pop_back();
  info.kind = m.IsDirectory() ? arclib::EMemberKind::Directory : arclib::EMemberKind::File;
  info.originalSize = m.originalSize;
  info.compressedSize = m.packedSize;
  info.crc = m.crc;
  info.osType = m.hostOs == kHostUnix ? 3 : 0;
  info.mtime = StampTime(m.hostOs, m.stamp);
  if (m.hostOs == kHostUnix) {
    info.unixMode = m.accessMode & 07777u;
    info.dosAttributes = m.IsDirectory() ? arclib::kDosDirectory : arclib::kDosArchive;
  } else {
    info.dosAttributes = m.accessMode & 0x3Fu;
    if (m.IsDirectory()) info.dosAttributes |= arclib::kDosDirectory;
  }
  info.method = "-m" + std::to_string(m.method);
  info.encrypted = (m.flags & kFlagGarbled) != 0;
  return info;
}

int ScanArj(const std::string& path, std::vector<arclib::TMemberInfo>& members) {
  const auto src = TFileSource::Open(path);
  if (!src) return arclib::kErrArcFileOpen;
  TArjArchive arc;
  std::string why;
  if (const int r = ReadArchive(*src, arc, why); r != 0) return r;
  members.clear();
  for (const TArjMember& m : arc.members)
    if (m.fileType != kTypeVolumeLabel) members.push_back(Describe(m));
  return 0;
}

}  // namespace unarj
