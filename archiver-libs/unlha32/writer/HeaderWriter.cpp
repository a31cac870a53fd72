#include "HeaderWriter.h"

#include "Crc16.h" // the library's
#include "Records.h"

#include <stdexcept>

namespace unlha {
namespace {

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFFu);
  Put16(b, v >> 16);
}

// An extended header: its type, its data; the size of the next one follows it.
void PutExt(std::vector<uint8_t>& b, uint8_t type, std::string_view data) {
  const size_t size = data.size() + 3;
  if (size > 0xFFFF) throw std::length_error("extended header too long");
  // The previous header's "next size" field is the last two bytes written.
  b[b.size() - 2] = static_cast<uint8_t>(size);
  b[b.size() - 1] = static_cast<uint8_t>(size >> 8);
  b.push_back(type);
  b.insert(b.end(), data.begin(), data.end());
  Put16(b, 0);
}

std::string Le(uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFFu));
  return s;
}

} // namespace

std::vector<uint8_t> BuildHeader(const TLhaMember& h, bool wideSizes) {
  if (h.method.size() != 5) throw std::invalid_argument("method id must have five characters");
  if (!wideSizes && (h.packedSize > 0xFFFFFFFFu || h.originalSize > 0xFFFFFFFFu))
    throw std::length_error("member too large");
  // The Unix time fields are 32 bits without sign: other times go into the Windows time
  // stamps (1601 to 30827) and the base field is clamped, never wrapped.
  const bool unixTime = h.mtime >= 0 && h.mtime <= 0xFFFFFFFFLL;
  const uint32_t baseTime = unixTime ? static_cast<uint32_t>(h.mtime) : h.mtime < 0 ? 0u : 0xFFFFFFFFu;
  // Folder part and file part; a folder member has only the folder part. A link is stored as
  // "name|target" split at its last "/" like any path, which is how the Unix tools read it back.
  std::string dir, name;
  if (h.IsDirectory()) {
    dir = h.name;
  } else {
    const std::string path = h.linkTarget.empty() ? h.name : h.name + "|" + h.linkTarget;
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos) dir = path.substr(0, slash);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
  }
  std::string dirField;
  if (!dir.empty()) {
    for (char c : dir) dirField.push_back(c == '/' ? '\xFF' : c);
    dirField.push_back('\xFF');
  }

  std::vector<uint8_t> b;
  b.reserve(96 + h.name.size() + h.linkTarget.size() + h.user.size() + h.group.size());
  Put16(b, 0); // total size, set below
  b.insert(b.end(), h.method.begin(), h.method.end());
  Put32(b, static_cast<uint32_t>(h.packedSize));
  Put32(b, static_cast<uint32_t>(h.originalSize));
  Put32(b, baseTime);
  b.push_back(0x20); // reserved; MS-DOS tools read it as the archive attribute
  b.push_back(2);    // header level
  Put16(b, h.crc);
  b.push_back('U');
  Put16(b, 0); // size of the first extended header
  PutExt(b, 0x00, std::string(2, '\0')); // header CRC, set below
  const size_t crcAt = b.size() - 4;
  if (!h.IsDirectory()) PutExt(b, 0x01, name);
  if (!dirField.empty()) PutExt(b, 0x02, dirField);
  if (h.IsSymlink() && h.name.find('|') != std::string::npos) PutExt(b, kLinkNameLengthHeader, Le(h.name.size(), 2));
  if (wideSizes) PutExt(b, 0x42, Le(h.packedSize, 8) + Le(h.originalSize, 8));
  if (h.unixMode) PutExt(b, 0x50, Le(*h.unixMode, 2));
  // Ids of 16 bits only: a larger one is left out rather than cut, and the names find the
  // account on restore.
  if (h.uid && h.gid && *h.uid <= 0xFFFFu && *h.gid <= 0xFFFFu) PutExt(b, 0x51, Le(*h.gid, 2) + Le(*h.uid, 2));
  if (!h.group.empty()) PutExt(b, 0x52, h.group);
  if (!h.user.empty()) PutExt(b, 0x53, h.user);
  if (unixTime) {
    PutExt(b, 0x54, Le(static_cast<uint32_t>(h.mtime), 4));
  } else {
    const std::string t = Le(UnixToFileTime(h.mtime), 8);
    PutExt(b, 0x41, t + t + t); // creation, last write, last access
  }
  // A header whose size has a zero low byte would read as the end-of-archive mark: an empty
  // comment makes it longer in a way every reader accepts (a stray byte after the last
  // extended header is not).
  if ((b.size() & 0xFFu) == 0) PutExt(b, 0x3F, {});
  if (b.size() > 0xFFFF) throw std::length_error("member name too long for a header");
  b[0] = static_cast<uint8_t>(b.size());
  b[1] = static_cast<uint8_t>(b.size() >> 8);
  const uint16_t crc = Crc16(0, b);
  b[crcAt] = static_cast<uint8_t>(crc);
  b[crcAt + 1] = static_cast<uint8_t>(crc >> 8);
  return b;
}

} // namespace unlha
