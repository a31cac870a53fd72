#include "MemberInfo.h"

#include <algorithm>
#include <cstring>

#include "Names.h"
#include "RecordFields.h"

namespace unlha {

std::string AttributeText(const TLhaMember& m) {
  uint32_t a = DosAttributes(m);
  std::string s = "-----";
  if (a & kDosReadOnly) s[0] = 'r';
  if (a & kDosHidden) s[1] = 'h';
  if (a & kDosSystem) s[2] = 's';
  if (a & kDosDirectory) s[3] = 'd';
  if (a & kDosArchive) s[4] = 'a';
  return s;
}

uint32_t DosAttributes(const TLhaMember& m) {
  uint32_t a = m.dosAttributes;
  if (m.IsDirectory()) a |= kDosDirectory;
  if (m.unixMode && !m.IsDirectory() && (*m.unixMode & 0222) == 0) a |= kDosReadOnly;
  return a;
}

std::string DisplayName(const TLhaMember& m) {
  std::string name = m.absolute ? "/" + m.name : m.name;
  return m.IsDirectory() && !m.name.empty() ? name + "/" : name;
}


void FillIndividualInfo(const TLhaMember& m, INDIVIDUALINFO& info) {
  std::memset(&info, 0, sizeof info);
  info.dwOriginalSize = Low32(m.originalSize);
  info.dwCompressedSize = Low32(m.packedSize);
  info.dwCRC = m.crc;
  info.uFlag = 0;
  info.uOSType = m.osId;
  info.wRatio = Ratio(m.packedSize, m.originalSize);
  info.wDate = static_cast<uint16_t>(m.dosStamp >> 16);
  info.wTime = static_cast<uint16_t>(m.dosStamp & 0xFFFF);
  CopyName(info.szFileName, DisplayName(m));  // folders end in "/", as listings show them
  CopyName(info.szAttribute, AttributeText(m));
  CopyName(info.szMode, m.method);
}

TMemberProgress ProgressOf(const TLhaMember& m, std::string_view dest, const std::string& attribute) {
  TMemberProgress p;
  p.source = m.name;
  p.dest = dest;
  p.originalSize = m.originalSize;
  p.compressedSize = m.packedSize;
  p.crc = m.crc;
  p.osType = m.osId;
  p.dosDate = static_cast<uint16_t>(m.dosStamp >> 16);
  p.dosTime = static_cast<uint16_t>(m.dosStamp & 0xFFFF);
  p.dosAttributes = DosAttributes(m);
  p.attribute = attribute;
  p.method = m.method;
  return p;
}

bool Selected(const TLhaMember& m, const std::vector<TNameArg>& patterns) {
  if (patterns.empty()) return true;
  std::string_view name = m.name;
  size_t slash = name.rfind('/');
  std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  for (const TNameArg& arg : patterns) {
    std::string_view p = arg.text;
    if (arg.exact) {
      while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
      if (p == name) return true;
      continue;
    }
    while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
    if (WildMatch(p, name)) return true;
    if (p.find('/') == std::string_view::npos && WildMatch(p, base)) return true;
    if (name.size() > p.size() && name.substr(0, p.size()) == p && name[p.size()] == '/') return true;
  }
  return false;
}

uint64_t UnixToFileTime(int64_t t) {
  constexpr int64_t kEpochSeconds = 11644473600LL;  // 1601-01-01 to 1970-01-01
  if (t < -kEpochSeconds) return 0;
  return static_cast<uint64_t>(t + kEpochSeconds) * 10000000ULL;
}

}  // namespace unlha
