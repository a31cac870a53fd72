#include "RarFormat.h"

#include <archive.h>

#include <cstdint>
#include <fstream>
#include <string_view>

#include "ErrorCodes.h"
#include "LibarchiveReader.h"

namespace rarfmt {
namespace {

constexpr std::string_view kRar4Signature("Rar!\x1a\x07\x00", 7);
constexpr std::string_view kRar5Signature("Rar!\x1a\x07\x01\x00", 8);
// Self-extractors carry the archive after their program; the signature is looked for this far.
constexpr size_t kSearchLimit = 1 << 20;

constexpr uint8_t kRar4MainHeader = 0x73;
constexpr uint16_t kRar4Volume = 0x0001;
constexpr uint16_t kRar4HeadersEncrypted = 0x0080;
constexpr uint64_t kRar5MainHeader = 1;
constexpr uint64_t kRar5EncryptionHeader = 4;
constexpr uint64_t kRar5Volume = 0x0001;

// A RAR 5 variable-length number at pos; false when it runs off the end or past 64 bits.
bool ReadVint(std::string_view data, size_t& pos, uint64_t& value) {
  value = 0;
  for (int shift = 0; shift < 64 && pos < data.size(); shift += 7) {
    const uint8_t b = static_cast<uint8_t>(data[pos++]);
    value |= static_cast<uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

void ReadRar4Main(std::string_view data, TRarHeader& h) {
  // CRC (2), type (1), flags (2), size (2).
  if (data.size() < 7 || static_cast<uint8_t>(data[2]) != kRar4MainHeader) return;
  const uint16_t flags = static_cast<uint16_t>(static_cast<uint8_t>(data[3]) | (static_cast<uint8_t>(data[4]) << 8));
  h.volume = (flags & kRar4Volume) != 0;
  h.headersEncrypted = (flags & kRar4HeadersEncrypted) != 0;
}

void ReadRar5Main(std::string_view data, TRarHeader& h) {
  size_t pos = 4;  // CRC32
  uint64_t size = 0, type = 0, flags = 0, value = 0;
  if (!ReadVint(data, pos, size) || !ReadVint(data, pos, type)) return;
  if (type == kRar5EncryptionHeader) {
    h.headersEncrypted = true;
    return;
  }
  if (type != kRar5MainHeader || !ReadVint(data, pos, flags)) return;
  if ((flags & 0x0001) != 0 && !ReadVint(data, pos, value)) return;  // extra area size
  if ((flags & 0x0002) != 0 && !ReadVint(data, pos, value)) return;  // data size
  if (ReadVint(data, pos, value)) h.volume = (value & kRar5Volume) != 0;
}

}  // namespace

void SetupRarReader(archive* a) {
  archive_read_support_format_rar(a);
  archive_read_support_format_rar5(a);
}

TRarHeader ReadRarHeader(const std::string& path) {
  TRarHeader h;
  std::ifstream in(path, std::ios::binary);
  if (!in) return h;
  std::string data(kSearchLimit, '\0');
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<size_t>(in.gcount()));
  const size_t at = data.find("Rar!\x1a\x07");
  if (at == std::string::npos) return h;
  const std::string_view rest = std::string_view(data).substr(at);
  if (rest.starts_with(kRar5Signature)) {
    h.version = 5;
    ReadRar5Main(rest.substr(kRar5Signature.size()), h);
  } else if (rest.starts_with(kRar4Signature)) {
    h.version = 4;
    ReadRar4Main(rest.substr(kRar4Signature.size()), h);
  }
  return h;
}

int ScanRar(const std::string& path, std::vector<arclib::TMemberInfo>& members) {
  const TRarHeader h = ReadRarHeader(path);
  // Names are encrypted too: the archive is known as RAR, but no member can be shown.
  if (h.headersEncrypted) return 0;
  if (const int r = arclib::ScanMembers(path, SetupRarReader, members); r != 0) return r;
  for (arclib::TMemberInfo& m : members) m.method = h.version == 5 ? "rar5" : "rar4";
  return 0;
}

}  // namespace rarfmt
