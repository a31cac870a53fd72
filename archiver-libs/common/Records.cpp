#include "Records.h"

#include <ctime>

namespace arclib {

uint32_t DosAttributes(const TMemberInfo& m) {
  uint32_t a = m.dosAttributes;
  if (m.IsDirectory()) a |= kDosDirectory;
  if (m.unixMode && !m.IsDirectory() && (*m.unixMode & 0222) == 0) a |= kDosReadOnly;
  return a;
}

std::string AttributeText(const TMemberInfo& m) {
  const uint32_t a = DosAttributes(m);
  std::string s = "-----";
  if (a & kDosReadOnly) s[0] = 'r';
  if (a & kDosHidden) s[1] = 'h';
  if (a & kDosSystem) s[2] = 's';
  if (a & kDosDirectory) s[3] = 'd';
  if (a & kDosArchive) s[4] = 'a';
  return s;
}

std::string DisplayName(const TMemberInfo& m) {
  const std::string name = m.absolute ? "/" + m.name : m.name;
  return m.IsDirectory() && !m.name.empty() ? name + "/" : name;
}

uint32_t DosStamp(int64_t unixTime) {
  const time_t t = static_cast<time_t>(unixTime);
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr || tm.tm_year < 80 || tm.tm_year > 207) return 0;
  const uint32_t date = static_cast<uint32_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  const uint32_t time = static_cast<uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return (date << 16) | time;
}

uint32_t DosStamp(const TMemberInfo& m) { return m.dosStamp ? *m.dosStamp : DosStamp(m.mtime); }

uint64_t UnixToFileTime(int64_t t) {
  constexpr int64_t kEpochSeconds = 11644473600LL;  // 1601-01-01 to 1970-01-01
  if (t < -kEpochSeconds) return 0;
  return static_cast<uint64_t>(t + kEpochSeconds) * 10000000ULL;
}

void FillIndividualInfo(const TMemberInfo& m, INDIVIDUALINFO& info) {
  std::memset(&info, 0, sizeof info);
  info.dwOriginalSize = Low32(m.originalSize);
  info.dwCompressedSize = Low32(m.compressedSize);
  info.dwCRC = m.crc;
  info.uOSType = m.osType;
  info.wRatio = Ratio(m.compressedSize, m.originalSize);
  const uint32_t stamp = DosStamp(m);
  info.wDate = static_cast<uint16_t>(stamp >> 16);
  info.wTime = static_cast<uint16_t>(stamp & 0xFFFF);
  CopyName(info.szFileName, DisplayName(m));
  CopyName(info.szAttribute, AttributeText(m));
  CopyName(info.szMode, m.method);
}

TMemberProgress ProgressOf(const TMemberInfo& m, std::string_view dest, const std::string& attribute) {
  TMemberProgress p;
  p.source = m.name;
  p.dest = dest;
  p.originalSize = m.originalSize;
  p.compressedSize = m.compressedSize;
  p.crc = m.crc;
  p.osType = m.osType;
  const uint32_t stamp = DosStamp(m);
  p.dosDate = static_cast<uint16_t>(stamp >> 16);
  p.dosTime = static_cast<uint16_t>(stamp & 0xFFFF);
  p.dosAttributes = DosAttributes(m);
  p.attribute = attribute;
  p.method = m.method;
  return p;
}

}  // namespace arclib
