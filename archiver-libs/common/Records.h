// The records the entries hand out: the 558-byte member record, the 1074-byte progress record
// and the 1094-byte enumeration record, filled from one description of a member.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "ArchiverApi.h"
#include "Notifier.h"

namespace arclib {

// Copies text into a zero-terminated field, cut to whole UTF-8 characters.
template <size_t N>
void CopyName(char (&field)[N], std::string_view text) {
  size_t n = std::min(text.size(), N - 1);
  if (n < text.size())
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  if (n != 0) std::memcpy(field, text.data(), n);  // an empty view's data() may be null
  field[n] = '\0';
}

// Packed size per mille of the original (0 for an empty member), capped to the field.
inline uint16_t Ratio(uint64_t packed, uint64_t original) {
  if (original == 0) return 0;
  return static_cast<uint16_t>(std::min<uint64_t>(packed * 1000 / original, 0xFFFF));
}

inline uint32_t Low32(uint64_t v) { return static_cast<uint32_t>(std::min<uint64_t>(v, 0xFFFFFFFFu)); }

// The fields the progress record and the enumeration record share.
template <typename TInfo>
void FillProgressFields(const TMemberProgress& p, TInfo& info) {
  info.dwFileSize = Low32(p.originalSize);
  info.dwWriteSize = Low32(p.written);
  CopyName(info.szSourceFileName, p.source);
  CopyName(info.szDestFileName, p.dest);
  info.dwCRC = p.crc;
  info.uOSType = p.osType;
  info.wRatio = Ratio(p.compressedSize, p.originalSize);
  info.wDate = p.dosDate;
  info.wTime = p.dosTime;
  CopyName(info.szAttribute, p.attribute);
}

inline constexpr uint32_t kDosReadOnly = 0x01;
inline constexpr uint32_t kDosHidden = 0x02;
inline constexpr uint32_t kDosSystem = 0x04;
inline constexpr uint32_t kDosDirectory = 0x10;
inline constexpr uint32_t kDosArchive = 0x20;

enum class EMemberKind { File, Directory, Symlink };

// One member as any format describes it, names already decoded to UTF-8.
struct TMemberInfo {
  std::string name;  // "/"-separated; folders without the trailing "/"
  bool absolute = false;  // the stored name began with "/" (not kept in Name); listed with it
  EMemberKind kind = EMemberKind::File;
  std::string linkTarget;
  std::string hardlinkTarget;  // a member stored as a hard link to an earlier member of this name
  uint64_t originalSize = 0;
  uint64_t compressedSize = 0;
  uint32_t crc = 0;
  uint32_t osType = 0;
  int64_t mtime = 0;  // Unix seconds
  std::optional<uint32_t> dosStamp;  // MS-DOS date (high word) and time, where the format stores one
  std::optional<int64_t> atime, ctime;
  std::optional<uint32_t> unixMode;  // permission bits
  uint32_t dosAttributes = 0;
  std::string method;
  bool encrypted = false;
  std::string rawName;  // the name as stored, for formats that look members up by it

  bool IsDirectory() const { return kind == EMemberKind::Directory; }
  bool IsSymlink() const { return kind == EMemberKind::Symlink; }
};

// Five letters "rhsda" for read-only, hidden, system, directory, archive; "-" where unset.
std::string AttributeText(const TMemberInfo& m);
// The MS-DOS attribute word, with the directory and read-only bits derived where known.
uint32_t DosAttributes(const TMemberInfo& m);
// The name as listed: folders end in "/".
std::string DisplayName(const TMemberInfo& m);
// Local-time MS-DOS date (high word) and time (low word) of a Unix time; 0 outside 1980..2107.
uint32_t DosStamp(int64_t unixTime);
// The member's MS-DOS stamp: as stored, else made from its write time.
uint32_t DosStamp(const TMemberInfo& m);
// 100 ns units since 1601-01-01 UTC.
uint64_t UnixToFileTime(int64_t t);

void FillIndividualInfo(const TMemberInfo& m, INDIVIDUALINFO& info);
// The progress description of a member; Attribute must outlive the result.
TMemberProgress ProgressOf(const TMemberInfo& m, std::string_view dest, const std::string& attribute);

}  // namespace arclib
