#include "CabFormat.h"

#include <archive.h>

#include <cstdint>
#include <fstream>

#include "LibarchiveReader.h"

namespace cabfmt {
namespace {

constexpr uint16_t kPrevCabinet = 0x0001;
constexpr uint16_t kNextCabinet = 0x0002;
constexpr uint16_t kReservePresent = 0x0004;
// Folder indexes of members that continue from or into another cabinet.
constexpr uint16_t kContinuedFolder = 0xFFFD;

struct TFolder {
  uint32_t dataOffset = 0;
  uint16_t compression = 0;
  uint64_t unpacked = 0;
};

struct TFileEntry {
  uint32_t size = 0;
  uint16_t folder = 0;
};

struct TLayout {
  TCabHeader header;
  uint32_t cabinetSize = 0;
  std::vector<TFolder> folders;
  std::vector<TFileEntry> files;
};

class TBytes {
 public:
  explicit TBytes(std::vector<unsigned char> data) : FData(std::move(data)) {}
  bool Has(size_t pos, size_t n) const { return pos <= FData.size() && n <= FData.size() - pos; }
  uint8_t U8(size_t p) const { return FData[p]; }
  uint16_t U16(size_t p) const { return static_cast<uint16_t>(FData[p] | (FData[p + 1] << 8)); }
  uint32_t U32(size_t p) const { return U16(p) | (static_cast<uint32_t>(U16(p + 2)) << 16); }
  // Position after the zero-terminated string at p; 0 when it runs off the end.
  size_t SkipString(size_t p) const {
    while (p < FData.size() && FData[p] != 0) ++p;
    return p < FData.size() ? p + 1 : 0;
  }

 private:
  std::vector<unsigned char> FData;
};

// The header, folder and file tables; bounded to what the header's own sizes allow.
TLayout ReadLayout(const std::string& path) {
  TLayout layout;
  std::ifstream in(path, std::ios::binary);
  if (!in) return layout;
  std::vector<unsigned char> head(36);
  if (!in.read(reinterpret_cast<char*>(head.data()), 36)) return layout;
  TBytes h(head);
  if (h.U32(0) != 0x4643534D) return layout;  // "MSCF"
  layout.cabinetSize = h.U32(8);
  const uint32_t filesOffset = h.U32(16);
  const uint16_t folderCount = h.U16(26), fileCount = h.U16(28), flags = h.U16(30);
  layout.header.spanned = (flags & (kPrevCabinet | kNextCabinet)) != 0;
  // Everything up to the end of the file table is read at once; a cabinet's tables are small.
  const uint64_t tablesEnd = static_cast<uint64_t>(filesOffset) + static_cast<uint64_t>(fileCount) * 272;
  in.seekg(0, std::ios::end);
  const uint64_t fileSize = static_cast<uint64_t>(in.tellg());
  std::vector<unsigned char> data(std::min<uint64_t>(tablesEnd, fileSize));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()))) return layout;
  TBytes b(std::move(data));
  size_t pos = 36;
  uint8_t folderReserve = 0;
  if (flags & kReservePresent) {
    if (!b.Has(pos, 4)) return layout;
    const uint16_t headerReserve = b.U16(pos);
    folderReserve = b.U8(pos + 2);
    pos += 4 + headerReserve;
  }
  for (const uint16_t bit : {kPrevCabinet, kNextCabinet}) {
    if ((flags & bit) == 0) continue;
    for (int k = 0; k < 2 && pos != 0; ++k) pos = b.SkipString(pos);
    if (pos == 0) return layout;
  }
  for (uint16_t k = 0; k < folderCount; ++k, pos += 8 + folderReserve) {
    if (!b.Has(pos, 8)) return layout;
    layout.folders.push_back({b.U32(pos), static_cast<uint16_t>(b.U16(pos + 6) & 0x0F), 0});
  }
  pos = filesOffset;
  for (uint16_t k = 0; k < fileCount; ++k) {
    if (!b.Has(pos, 16)) return layout;
    const TFileEntry e{b.U32(pos), b.U16(pos + 8)};
    if (e.folder < layout.folders.size()) layout.folders[e.folder].unpacked += e.size;
    layout.files.push_back(e);
    pos = b.SkipString(pos + 16);
    if (pos == 0) return layout;
  }
  layout.header.valid = true;
  return layout;
}

const char* MethodName(uint16_t compression) {
  switch (compression) {
    case 0: return "stored";
    case 1: return "mszip";
    case 2: return "quantum";
    case 3: return "lzx";
    default: return "?";
  }
}

}  // namespace

void SetupCabReader(archive* a) { archive_read_support_format_cab(a); }

TCabHeader ReadCabHeader(const std::string& path) { return ReadLayout(path).header; }

int ScanCab(const std::string& path, std::vector<arclib::TMemberInfo>& members) {
  if (const int r = arclib::ScanMembers(path, SetupCabReader, members); r != 0) return r;
  const TLayout layout = ReadLayout(path);
  // libarchive lists the file table in order, so members and entries pair up by position.
  if (!layout.header.valid || layout.files.size() != members.size()) return 0;
  for (size_t k = 0; k < members.size(); ++k) {
    const TFileEntry& e = layout.files[k];
    if (e.folder >= kContinuedFolder) {
      members[k].method = "split";
      continue;
    }
    if (e.folder >= layout.folders.size()) continue;
    // A folder is compressed as one stream: each member is given its share of the packed bytes.
    const TFolder& f = layout.folders[e.folder];
    const uint32_t end = e.folder + 1u < layout.folders.size() ? layout.folders[e.folder + 1u].dataOffset
                                                               : layout.cabinetSize;
    const uint64_t packed = end > f.dataOffset ? end - f.dataOffset : 0;
    members[k].method = MethodName(f.compression);
    members[k].compressedSize = f.unpacked == 0 ? 0 : packed * e.size / f.unpacked;
  }
  return 0;
}

}  // namespace cabfmt
