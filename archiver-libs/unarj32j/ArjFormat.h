// ARJ archives as the format's technical description gives them: a main header, then one local
// header per member, each a basic header (CRC-32 checked) followed by extended headers, then
// the member's packed data. Nothing read is trusted: sizes are checked against the file.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ByteSource.h"
#include "Records.h"

namespace unarj {

inline constexpr uint8_t kHeaderId0 = 0x60;  // the header id 0xEA60, low byte first
inline constexpr uint8_t kHeaderId1 = 0xEA;
inline constexpr size_t kMaxBasicHeader = 2600;
inline constexpr size_t kFirstHeaderSize = 30;  // the fixed fields every local header has

// Header flags.
inline constexpr uint8_t kFlagGarbled = 0x01;   // member: encrypted with a password
inline constexpr uint8_t kFlagVolume = 0x04;    // main: more volumes follow; member: continues in the next
inline constexpr uint8_t kFlagExtFile = 0x08;   // member: continued from the previous volume
inline constexpr uint8_t kFlagPathSym = 0x10;   // "\" in names was changed to "/"

// File types.
inline constexpr uint8_t kTypeBinary = 0;
inline constexpr uint8_t kTypeText = 1;
inline constexpr uint8_t kTypeDirectory = 3;
inline constexpr uint8_t kTypeVolumeLabel = 4;

inline constexpr uint8_t kHostMsdos = 0;
inline constexpr uint8_t kHostUnix = 2;

struct TArjMember {
  std::string rawName;  // as stored, "/"-separated when kFlagPathSym
  uint8_t hostOs = 0;
  uint8_t flags = 0;
  uint8_t method = 0;
  uint8_t fileType = 0;
  uint32_t stamp = 0;  // MS-DOS local date and time; Unix seconds when written on Unix
  uint32_t packedSize = 0;
  uint32_t originalSize = 0;
  uint32_t crc = 0;
  uint16_t accessMode = 0;
  uint64_t headerOffset = 0;
  uint64_t dataOffset = 0;

  bool IsDirectory() const { return fileType == kTypeDirectory; }
};

struct TArjArchive {
  uint8_t flags = 0;  // the main header's
  std::string name;   // the archive's name when created
  std::vector<TArjMember> members;
};

using lzcodec::TFileSource;

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t n);

// Reads the main header (after a self-extractor stub, if any) and every local header. 0, or
// kErrNotArcFile (no ARJ main header), kErrHeaderBroken (a header is cut short, fails its
// CRC or its data runs past the end); why says which and where.
int ReadArchive(const lzcodec::TByteSource& src, TArjArchive& arc, std::string& why);

// The time of a header's stamp: ARJ on Unix hosts stores Unix seconds, elsewhere an MS-DOS stamp.
int64_t StampTime(uint8_t hostOs, uint32_t stamp);

// A member as the shared layer describes it.
arclib::TMemberInfo Describe(const TArjMember& m);

// ScanFn of the listing entries: 0 and the members, or an error code.
int ScanArj(const std::string& path, std::vector<arclib::TMemberInfo>& members);

}  // namespace unarj
