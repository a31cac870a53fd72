// LHA member headers, levels 0 to 3: what one header says about its member, and the parser
// that reads it from an archive (or any byte source) without trusting any size it finds.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "ByteSource.h"
#include "SharedLayer.h"

namespace unlha {

// Unix file types as the mode word of the Unix extended header records them.
inline constexpr uint16_t kModeTypeMask = 0170000;
inline constexpr uint16_t kModeDirectory = 0040000;
inline constexpr uint16_t kModeRegular = 0100000;
inline constexpr uint16_t kModeSymlink = 0120000;

struct TLhaMember {
  std::string name;        // UTF-8, components joined by "/", no leading or trailing "/"
  std::string linkTarget;  // target of a symbolic link ("" otherwise)
  bool absolute = false;   // the stored name began with a delimiter
  std::string method;      // the five method characters, e.g. "-lh5-"
  uint8_t level = 0;
  uint8_t osId = 0;        // 'U' Unix, 'M' MS-DOS, 'w' Windows, 0 none, ...
  uint64_t headerOffset = 0;  // where the header starts in the archive
  uint64_t headerSize = 0;    // bytes of header, extended headers included
  uint64_t dataOffset = 0;    // where the packed data starts
  uint64_t packedSize = 0;
  uint64_t originalSize = 0;
  uint16_t crc = 0;           // CRC-16 of the original data
  bool hasCrc = true;         // level 0 headers may end before the CRC field
  uint32_t dosStamp = 0;      // MS-DOS date (high word) and time (low word), local time
  int64_t mtime = 0;          // seconds since 1970-01-01 UTC
  std::optional<int64_t> atime;     // when recorded (Windows time-stamp header)
  std::optional<int64_t> ctime;     // creation time, when recorded
  std::optional<uint16_t> unixMode;
  std::optional<uint32_t> uid;
  std::optional<uint32_t> gid;
  std::string user;
  std::string group;
  uint16_t dosAttributes = kDosArchive;
  // An empty member whose name is only a folder (Amiga LHA writes empty folders so).
  bool folderOnly = false;

  bool IsDirectory() const;
  bool IsSymlink() const { return !linkTarget.empty(); }
};

using lzcodec::TByteSource;
using lzcodec::TMemorySource;

enum class EHeader {
  Ok,         // member filled, next points at the following header
  End,        // end-of-archive mark or end of the source
  Broken,     // malformed or truncated header, or its data runs past the end
  BadCrc,     // header checksum or CRC mismatch
};

// Parses the header at offset. On Ok, next is the offset of the following header.
EHeader ParseHeader(const TByteSource& src, uint64_t offset, TLhaMember& member, uint64_t& next);

// Looks for the first valid header at or after offset, within limit bytes (self-extractor
// stubs come before it). Returns its offset, or nullopt.
std::optional<uint64_t> FindFirstHeader(const TByteSource& src, uint64_t limit);

// Seconds since 1970 UTC from an MS-DOS stamp taken as local time, and back.
int64_t DosStampToUnix(uint32_t stamp);
uint32_t UnixToDosStamp(int64_t t);

}  // namespace unlha
