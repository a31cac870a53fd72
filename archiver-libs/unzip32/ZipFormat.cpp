#include "ZipFormat.h"

#include <archive.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>

#include "ErrorCodes.h"
#include "LibarchiveReader.h"

namespace zipfmt {
namespace {

struct TDirectoryEntry {
  uint64_t packedSize = 0;
  uint32_t crc = 0;
  uint16_t method = 0;
};

uint16_t U16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const unsigned char* p) { return U16(p) | (static_cast<uint32_t>(U16(p + 2)) << 16); }
uint64_t U64(const unsigned char* p) { return U32(p) | (static_cast<uint64_t>(U32(p + 4)) << 32); }

const char* MethodName(uint16_t method) {
  switch (method) {
    case 0: return "store";
    case 8: return "deflate";
    case 9: return "deflt64";
    case 12: return "bzip2";
    case 14: return "lzma";
    case 93: return "zstd";
    case 95: return "xz";
    case 99: return "aes";
    default: return "?";
  }
}

// The central directory, by stored name. Bounded: a directory larger than the file or than
// 256 MiB is not read (the members then keep libarchive's sizes).
std::multimap<std::string, TDirectoryEntry> ReadDirectory(const std::string& path) {
  std::multimap<std::string, TDirectoryEntry> result;
  std::ifstream in(path, std::ios::binary);
  if (!in) return result;
  in.seekg(0, std::ios::end);
  const uint64_t fileSize = static_cast<uint64_t>(in.tellg());
  const uint64_t tailSize = std::min<uint64_t>(fileSize, 65557);
  std::vector<unsigned char> tail(tailSize);
  in.seekg(static_cast<std::streamoff>(fileSize - tailSize));
  in.read(reinterpret_cast<char*>(tail.data()), static_cast<std::streamsize>(tailSize));
  if (!in || tailSize < 22) return result;
  size_t eocd = tailSize - 22 + 1;
  while (eocd-- > 0)
    if (U32(&tail[eocd]) == 0x06054b50) break;
  if (eocd == static_cast<size_t>(-1)) return result;
  uint64_t count = U16(&tail[eocd + 10]);
  uint64_t dirSize = U32(&tail[eocd + 12]);
  uint64_t dirOffset = U32(&tail[eocd + 16]);
  const uint64_t eocdPos = fileSize - tailSize + eocd;
  // Zip64: the locator sits right before the end record.
  if (eocd >= 20 && U32(&tail[eocd - 20]) == 0x07064b50) {
    const uint64_t zip64Pos = U64(&tail[eocd - 20 + 8]);
    unsigned char rec[56];
    in.seekg(static_cast<std::streamoff>(zip64Pos));
    if (in.read(reinterpret_cast<char*>(rec), sizeof rec) && U32(rec) == 0x06064b50) {
      count = U64(rec + 32);
      dirSize = U64(rec + 40);
      dirOffset = U64(rec + 48);
    }
  }
  // Self-extractors: offsets count from the archive's start, which follows a prefix.
  const uint64_t shift = eocdPos >= dirOffset + dirSize ? eocdPos - dirOffset - dirSize : 0;
  if (dirSize > (256u << 20) || dirOffset + shift + dirSize > fileSize) return result;
  std::vector<unsigned char> dir(dirSize);
  in.seekg(static_cast<std::streamoff>(dirOffset + shift));
  if (!in.read(reinterpret_cast<char*>(dir.data()), static_cast<std::streamsize>(dirSize))) return result;
  size_t pos = 0;
  for (uint64_t k = 0; k < count && pos + 46 <= dir.size() && U32(&dir[pos]) == 0x02014b50; ++k) {
    const unsigned char* h = &dir[pos];
    const size_t nameLen = U16(h + 28), extraLen = U16(h + 30), commentLen = U16(h + 32);
    if (pos + 46 + nameLen + extraLen + commentLen > dir.size()) break;
    TDirectoryEntry e;
    e.method = U16(h + 10);
    e.crc = U32(h + 16);
    e.packedSize = U32(h + 20);
    const uint32_t original32 = U32(h + 24);
    // Zip64 extra field: the original size first when its 32-bit field is full, then the packed.
    const unsigned char* extra = h + 46 + nameLen;
    for (size_t x = 0; x + 4 <= extraLen;) {
      const uint16_t id = U16(extra + x), len = U16(extra + x + 2);
      if (x + 4 + len > extraLen) break;
      if (id == 0x0001) {
        size_t off = x + 4;
        if (original32 == 0xFFFFFFFFu) off += 8;
        if (e.packedSize == 0xFFFFFFFFu && off + 8 <= x + 4 + len) e.packedSize = U64(extra + off);
      }
      x += 4 + len;
    }
    result.emplace(std::string(reinterpret_cast<const char*>(h + 46), nameLen), e);
    pos += 46 + nameLen + extraLen + commentLen;
  }
  return result;
}

}  // namespace

void SetupZipReader(archive* a) { archive_read_support_format_zip_seekable(a); }

int ScanZip(const std::string& path, std::vector<arclib::TMemberInfo>& members) {
  if (const int r = arclib::ScanMembers(path, SetupZipReader, members); r != 0) return r;
  const auto directory = ReadDirectory(path);
  for (arclib::TMemberInfo& m : members) {
    auto it = directory.find(m.rawName);
    if (it == directory.end()) it = directory.find(m.rawName + "/");
    if (it == directory.end()) continue;
    m.compressedSize = it->second.packedSize;
    m.crc = it->second.crc;
    m.method = MethodName(it->second.method);
  }
  return 0;
}

std::string UnescapeName(std::string_view name) {
  std::string result;
  if (name.starts_with("[-]")) {
    result += '-';
    name.remove_prefix(3);
  }
  for (size_t i = 0; i < name.size(); ++i) {
    if (name.substr(i, 3) == "[[]") {
      result += '[';
      i += 2;
    } else {
      result += name[i];
    }
  }
  return result;
}

}  // namespace zipfmt
