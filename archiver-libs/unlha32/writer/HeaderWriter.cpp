#include "HeaderWriter.h"

#include "Crc16.h" // the library's

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

std::string Le(uint32_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFFu));
  return s;
}

} // namespace

std::vector<uint8_t> BuildHeader(const TLhaMember& h) {
  if (h.method.size() != 5) throw std::invalid_argument("method id must have five characters");
  if (h.packedSize > 0xFFFFFFFFu || h.originalSize > 0xFFFFFFFFu) throw std::length_error("member too large");
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
  Put32(b, static_cast<uint32_t>(h.mtime));
  b.push_back(0x20); // reserved; MS-DOS tools read it as the archive attribute
  b.push_back(2);    // header level
  Put16(b, h.crc);
  b.push_back('U');
  Put16(b, 0); // size of the first extended header
  PutExt(b, 0x00, std::string(2, '\0')); // header CRC, set below
  const size_t crcAt = b.size() - 4;
  if (!h.IsDirectory()) PutExt(b, 0x01, name);
  if (!dirField.empty()) PutExt(b, 0x02, dirField);
  if (h.unixMode) PutExt(b, 0x50, Le(*h.unixMode, 2));
  if (h.uid && h.gid) PutExt(b, 0x51, Le(*h.gid & 0xFFFFu, 2) + Le(*h.uid & 0xFFFFu, 2));
  if (!h.group.empty()) PutExt(b, 0x52, h.group);
  if (!h.user.empty()) PutExt(b, 0x53, h.user);
  PutExt(b, 0x54, Le(static_cast<uint32_t>(h.mtime), 4));
  // A header whose size has a zero low byte would read as the end-of-archive mark.
  if ((b.size() & 0xFFu) == 0) b.push_back(0);
  if (b.size() > 0xFFFF) throw std::length_error("member name too long for a header");
  b[0] = static_cast<uint8_t>(b.size());
  b[1] = static_cast<uint8_t>(b.size() >> 8);
  const uint16_t crc = Crc16(0, b);
  b[crcAt] = static_cast<uint8_t>(crc);
  b[crcAt + 1] = static_cast<uint8_t>(crc >> 8);
  return b;
}

} // namespace unlha
