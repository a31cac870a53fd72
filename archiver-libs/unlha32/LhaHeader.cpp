#include "LhaHeader.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <vector>

#include "Crc16.h"
#include "Names.h"

namespace unlha {
namespace {

// No header of any level is anywhere near this; a larger claim is damage.
constexpr uint64_t kMaxHeaderBytes = 1 << 20;
constexpr int kMaxExtHeaders = 4096;
// 100 ns ticks between 1601-01-01 and 1970-01-01.
constexpr int64_t kFileTimeEpoch = 116444736000000000LL;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Le64(const uint8_t* p) { return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32); }

bool ReadExact(const TByteSource& src, uint64_t offset, uint8_t* buf, size_t n) {
  return src.ReadAt(offset, buf, n) == static_cast<ptrdiff_t>(n);
}

bool IsMethodId(const uint8_t* m) {
  return m[0] == '-' && m[1] == 'l' && (m[2] == 'h' || m[2] == 'z') && m[4] == '-' && m[3] >= 0x20 && m[3] < 0x7F;
}

int64_t FileTimeToUnix(uint64_t ft) {
  if (ft == 0) return 0;
  return (static_cast<int64_t>(ft & 0x7FFFFFFFFFFFFFFFULL) - kFileTimeEpoch) / 10000000;
}

// What the extended headers and the base header leave for the final assembly of the name.
struct TRawParts {
  std::string name;
  std::string dir;
  std::string uniName;  // already UTF-8
  std::string uniDir;
  bool hasUniName = false;
  bool hasUniDir = false;
  bool hasUnixTime = false;
  bool hasWindowsTimes = false;
  int64_t windowsMtime = 0;
  std::optional<size_t> linkNameLength;  // our writer's: where "name|target" splits
  long crcAt = -1;  // offset of the header CRC inside the level-2/3 header buffer
  uint16_t headerCrc = 0;
  // A NUL inside a name ends it for every system call but not for a string compare: such a
  // header is refused, so that the safety checks see the bytes the file system will.
  bool nulInName = false;
};

bool HasNul(const uint8_t* d, size_t n) { return n > 0 && std::memchr(d, 0, n) != nullptr; }

bool HasNulUnit(const uint8_t* d, size_t n) {
  for (size_t i = 0; i + 1 < n; i += 2)
    if (d[i] == 0 && d[i + 1] == 0) return true;
  return false;
}

// OS-9 (and OS-9/68K) LHA counts two bytes too few in the level-2 header size.
bool IsOs9(uint8_t osId) { return osId == '9' || osId == 'K' || osId == 'X'; }

void ApplyExt(uint8_t type, const uint8_t* d, size_t n, TLhaMember& m, TRawParts& raw) {
  auto text = [&] { return std::string(reinterpret_cast<const char*>(d), n); };
  switch (type) {
    case 0x00:
      if (n >= 2) raw.headerCrc = Le16(d);
      break;
    case 0x01:
      raw.name = text();
      raw.nulInName = raw.nulInName || HasNul(d, n);
      break;
    case 0x02:
      raw.dir = text();
      raw.nulInName = raw.nulInName || HasNul(d, n);
      break;
    case 0x40:
      if (n >= 2) m.dosAttributes = Le16(d);
      break;
    case 0x41:
      if (n >= 24) {
        raw.hasWindowsTimes = true;
        m.ctime = FileTimeToUnix(Le64(d));
        raw.windowsMtime = FileTimeToUnix(Le64(d + 8));
        m.atime = FileTimeToUnix(Le64(d + 16));
      }
      break;
    case 0x42:
      if (n >= 16) {
        m.packedSize = Le64(d);
        m.originalSize = Le64(d + 8);
      }
      break;
    case 0x44:
      raw.uniName = DecodeUtf16Name({d, n});
      raw.hasUniName = true;
      raw.nulInName = raw.nulInName || HasNulUnit(d, n);
      break;
    case 0x45:
      raw.uniDir = DecodeUtf16Name({d, n});
      raw.hasUniDir = true;
      raw.nulInName = raw.nulInName || HasNulUnit(d, n);
      break;
    case 0x50:
      if (n >= 2) m.unixMode = Le16(d);
      break;
    case 0x51:
      if (n >= 4) {
        m.gid = Le16(d);
        m.uid = Le16(d + 2);
      }
      break;
    case 0x52:
      m.group = text();
      break;
    case 0x53:
      m.user = text();
      break;
    case 0x59:  // kLinkNameLengthHeader of the writer
      if (n >= 2) raw.linkNameLength = Le16(d);
      break;
    case 0x54:
      if (n >= 4) {
        m.mtime = Le32(d);
        raw.hasUnixTime = true;
      }
      break;
    default:  // comments (0x3F) and everything else carry nothing we restore
      break;
  }
}

// Walks a chain of extended headers held in buf (levels 2 and 3: inside the header); end
// receives the offset just past the last one.
bool WalkExtInBuffer(const std::vector<uint8_t>& buf, size_t pos, uint64_t firstSize, size_t sizeBytes,
                     TLhaMember& m, TRawParts& raw, size_t& end) {
  uint64_t size = firstSize;
  int count = 0;
  while (size != 0) {
    if (++count > kMaxExtHeaders || size < 1 + sizeBytes || pos + size > buf.size()) return false;
    const uint8_t* e = buf.data() + pos;
    const size_t payload = static_cast<size_t>(size - 1 - sizeBytes);
    if (e[0] == 0x00 && payload >= 2) raw.crcAt = static_cast<long>(pos + 1);
    ApplyExt(e[0], e + 1, payload, m, raw);
    const uint8_t* nextField = e + size - sizeBytes;
    size_t here = static_cast<size_t>(size);
    size = sizeBytes == 2 ? Le16(nextField) : Le32(nextField);
    pos += here;
  }
  end = pos;
  return true;
}

std::string JoinComponents(std::string_view path, bool& absolute) {
  absolute = !path.empty() && path[0] == '/';
  std::string out;
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string_view::npos) j = path.size();
    std::string_view comp = path.substr(i, j - i);
    if (!comp.empty() && comp != ".") {
      if (!out.empty()) out += '/';
      out += comp;
    }
    i = j + 1;
  }
  return out;
}

void Finish(TLhaMember& m, TRawParts& raw) {
  const bool unixBytes = m.osId == 'U';
  std::string dir = raw.hasUniDir ? raw.uniDir : DecodeStoredName(raw.dir, unixBytes);
  std::string name = raw.hasUniName ? raw.uniName : DecodeStoredName(raw.name, unixBytes);
  while (!dir.empty() && dir.back() == '/') dir.pop_back();  // the folder header ends in its separator
  std::string full = dir.empty() ? name : dir + "/" + name;
  bool symlink = m.unixMode && (*m.unixMode & kModeTypeMask) == kModeSymlink;
  // An empty member named by a folder alone, or by a name ending in a delimiter, is that folder.
  bool namesFolder = (name.empty() && !dir.empty()) || (!full.empty() && full.back() == '/');
  m.folderOnly = !symlink && namesFolder && m.originalSize == 0;
  if (symlink) {
    // "link|target" is split at its last "/" when written, so a target with folders puts the
    // "|" into the folder part: look for it in the joined name. A "|" in the file-name part
    // comes first, since the link's own name then holds none.
    size_t bar = name.find('|');
    bar = bar != std::string::npos ? full.size() - name.size() + bar : full.find('|');
    if (raw.linkNameLength && *raw.linkNameLength < full.size() && full[*raw.linkNameLength] == '|')
      bar = *raw.linkNameLength;
    if (bar != std::string::npos) {
      m.linkTarget = full.substr(bar + 1);
      full.resize(bar);
    }
    if (m.linkTarget.empty()) m.linkTarget = ".";  // a link must point somewhere; keep it harmless
  }
  m.name = JoinComponents(full, m.absolute);
  if (raw.hasWindowsTimes && !raw.hasUnixTime) {
    m.mtime = raw.windowsMtime;  // also outside the 32-bit Unix range
    m.dosStamp = UnixToDosStamp(m.mtime);
  } else if (m.level >= 2 || raw.hasUnixTime) {
    m.dosStamp = UnixToDosStamp(m.mtime);
  } else {
    m.mtime = DosStampToUnix(m.dosStamp);
  }
}

EHeader ParseLevel01(const TByteSource& src, uint64_t offset, const uint8_t* head, TLhaMember& m, uint64_t& next) {
  size_t total = static_cast<size_t>(head[0]) + 2;
  std::vector<uint8_t> b(total);
  if (total < 22 || !ReadExact(src, offset, b.data(), total)) return EHeader::Broken;
  unsigned sum = 0;
  for (size_t i = 2; i < total; ++i) sum += b[i];
  if ((sum & 0xFF) != b[1]) return EHeader::BadCrc;
  TRawParts raw;
  size_t nameLen = b[21];
  if (22 + nameLen > total) return EHeader::Broken;
  // A NUL ends the name; Amiga LHA keeps the file's comment behind it.
  const char* nameBytes = reinterpret_cast<const char*>(b.data() + 22);
  raw.name.assign(nameBytes, ::strnlen(nameBytes, nameLen));
  m.packedSize = Le32(&b[7]);
  m.originalSize = Le32(&b[11]);
  m.dosStamp = Le32(&b[15]);
  m.dosAttributes = b[19];
  size_t p = 22 + nameLen;
  m.hasCrc = p + 2 <= total;
  if (m.hasCrc) m.crc = Le16(&b[p]);
  p += 2;
  uint64_t extBytes = 0;
  if (m.level == 0) {
    // Optional extension: OS id, and for Unix minor version, mtime, mode, uid, gid.
    if (p < total) {
      m.osId = b[p];
      if (m.osId == 'U' && p + 12 <= total) {
        m.mtime = Le32(&b[p + 2]);
        raw.hasUnixTime = true;
        m.unixMode = Le16(&b[p + 6]);
        m.uid = Le16(&b[p + 8]);
        m.gid = Le16(&b[p + 10]);
      }
    }
  } else {
    m.dosAttributes = kDosArchive;
    if (p + 3 > total) return EHeader::Broken;
    m.osId = b[p];
    uint64_t size = Le16(&b[total - 2]);
    uint64_t pos = offset + total;
    int count = 0;
    std::vector<uint8_t> e;
    while (size != 0) {
      if (++count > kMaxExtHeaders || size < 3 || extBytes + size > kMaxHeaderBytes) return EHeader::Broken;
      e.resize(static_cast<size_t>(size));
      if (!ReadExact(src, pos, e.data(), e.size())) return EHeader::Broken;
      ApplyExt(e[0], e.data() + 1, e.size() - 3, m, raw);
      pos += size;
      extBytes += size;
      size = Le16(&e[e.size() - 2]);
    }
    // The skip size counts the extended headers and the data together.
    if (extBytes > m.packedSize) return EHeader::Broken;
    m.packedSize -= extBytes;
  }
  if (raw.nulInName) return EHeader::Broken;
  m.headerSize = total + extBytes;
  m.dataOffset = offset + m.headerSize;
  Finish(m, raw);
  next = m.dataOffset + m.packedSize;
  return EHeader::Ok;
}

EHeader ParseLevel23(const TByteSource& src, uint64_t offset, const uint8_t* head, TLhaMember& m, uint64_t& next) {
  bool three = m.level == 3;
  if (three && Le16(head) != 4) return EHeader::Broken;
  uint64_t total = three ? Le32(head + 24) : Le16(head);
  size_t base = three ? 32 : 26;
  if (total < base || total > kMaxHeaderBytes) return EHeader::Broken;
  // Level 2 from OS-9 may run two bytes past its stated size: read them too, and let the
  // extended headers tell which size is right.
  bool os9 = !three && IsOs9(head[23]);
  std::vector<uint8_t> b(static_cast<size_t>(total) + (os9 ? 2 : 0));
  if (!ReadExact(src, offset, b.data(), b.size())) {
    if (!os9) return EHeader::Broken;
    b.resize(static_cast<size_t>(total));
    if (!ReadExact(src, offset, b.data(), b.size())) return EHeader::Broken;
  }
  TRawParts raw;
  m.packedSize = Le32(&b[7]);
  m.originalSize = Le32(&b[11]);
  m.mtime = Le32(&b[15]);
  m.dosAttributes = kDosArchive;
  m.crc = Le16(&b[21]);
  m.osId = b[23];
  uint64_t first = three ? Le32(&b[28]) : Le16(&b[24]);
  size_t end = 0;
  if (!WalkExtInBuffer(b, base, first, three ? 4 : 2, m, raw, end)) return EHeader::Broken;
  if (end > total) {
    total = end;  // the OS-9 case: the chain itself is the header
  } else {
    b.resize(static_cast<size_t>(total));
  }
  // Every writer of these levels puts a header CRC into the chain; without one, a damaged kind
  // byte of that very extended header would let a damaged header through unchecked.
  if (raw.crcAt < 0) return EHeader::BadCrc;
  size_t at = static_cast<size_t>(raw.crcAt);
  if (at + 2 > b.size()) return EHeader::Broken;
  b[at] = b[at + 1] = 0;
  if (Crc16(0, b) != raw.headerCrc) return EHeader::BadCrc;
  if (raw.nulInName) return EHeader::Broken;
  m.headerSize = total;
  m.dataOffset = offset + total;
  Finish(m, raw);
  next = m.dataOffset + m.packedSize;
  return EHeader::Ok;
}

}  // namespace

bool TLhaMember::IsDirectory() const {
  if (IsSymlink()) return false;
  if (folderOnly) return true;
  if (unixMode && (*unixMode & kModeTypeMask) == kModeDirectory) return true;
  return method == "-lhd-";
}

EHeader ParseHeader(const TByteSource& src, uint64_t offset, TLhaMember& member, uint64_t& next) {
  member = TLhaMember{};
  uint8_t head[32] = {};
  ptrdiff_t got = src.ReadAt(offset, head, sizeof head);
  if (got <= 0 || head[0] == 0) return EHeader::End;
  if (got < 22 || !IsMethodId(head + 2)) return EHeader::Broken;
  member.method.assign(reinterpret_cast<const char*>(head + 2), 5);
  member.level = head[20];
  member.headerOffset = offset;
  EHeader r = EHeader::Broken;
  if (member.level <= 1) {
    r = ParseLevel01(src, offset, head, member, next);
  } else if (member.level <= 3) {
    if (member.level == 3 && got < 32) return EHeader::Broken;
    r = ParseLevel23(src, offset, head, member, next);
  }
  // The data must lie within the file (a 64-bit size could wrap the sum) and the next header
  // strictly after this one, so that a scan always moves forward and ends.
  if (r == EHeader::Ok && (member.dataOffset > src.Size() || member.packedSize > src.Size() - member.dataOffset ||
                           next <= offset))
    return EHeader::Broken;
  return r;
}

std::optional<uint64_t> FindFirstHeader(const TByteSource& src, uint64_t limit) {
  uint64_t end = std::min(src.Size(), limit);
  std::vector<uint8_t> buf(64 * 1024 + 8);
  TLhaMember m;
  uint64_t next = 0;
  for (uint64_t base = 0; base < end; base += 64 * 1024) {
    ptrdiff_t got = src.ReadAt(base, buf.data(), buf.size());
    if (got <= 0) break;
    for (size_t i = 0; i + 7 <= static_cast<size_t>(got) && i < 64 * 1024 && base + i < end; ++i) {
      if (buf[i + 2] != '-' || !IsMethodId(&buf[i + 2])) continue;
      if (ParseHeader(src, base + i, m, next) == EHeader::Ok) return base + i;
    }
  }
  return std::nullopt;
}

uint32_t UnixToDosStamp(int64_t t) {
  time_t tt = static_cast<time_t>(t);
  std::tm tm{};
  if (!localtime_r(&tt, &tm) || tm.tm_year < 80) return (1u << 5 | 1u) << 16;  // 1980-01-01 00:00
  if (tm.tm_year > 80 + 127) return ((127u << 9) | (12u << 5) | 31u) << 16 | (23u << 11) | (59u << 5) | 29u;
  uint32_t date = (static_cast<uint32_t>(tm.tm_year - 80) << 9) | (static_cast<uint32_t>(tm.tm_mon + 1) << 5) |
                  static_cast<uint32_t>(tm.tm_mday);
  uint32_t tim = (static_cast<uint32_t>(tm.tm_hour) << 11) | (static_cast<uint32_t>(tm.tm_min) << 5) |
                 static_cast<uint32_t>(tm.tm_sec / 2);
  return date << 16 | tim;
}

}  // namespace unlha
