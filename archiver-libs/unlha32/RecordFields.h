// Filling the fixed-size fields of the records the entries hand out.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "Notifier.h"

namespace unlha {

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

}  // namespace unlha
