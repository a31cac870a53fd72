// Hand-made ARJ archives for the tests: a main header, members with any header fields and
// packed bytes, the end mark. Header CRCs are computed unless a test breaks them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "ArjFormat.h"

namespace arj_test {

struct TCraftMember {
  std::string name;
  std::vector<uint8_t> packed;
  uint32_t originalSize = 0;
  uint32_t crc = 0;
  uint8_t method = 0;
  uint8_t flags = unarj::kFlagPathSym;
  uint8_t fileType = unarj::kTypeBinary;
  uint16_t mode = 0644;
};

inline void Le(std::vector<uint8_t>& b, uint32_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

inline std::vector<uint8_t> CraftHeader(uint8_t flags, uint8_t method, uint8_t fileType, uint32_t packed,
                                        uint32_t original, uint32_t crc, uint16_t mode, const std::string& name) {
  std::vector<uint8_t> basic = {30, 11, 1, unarj::kHostUnix, flags, method, fileType, 0};
  Le(basic, 0x5A210000, 4);  // December 2017, in Unix seconds as Unix hosts store it
  Le(basic, packed, 4);
  Le(basic, original, 4);
  Le(basic, crc, 4);
  Le(basic, 0, 2);
  Le(basic, mode, 2);
  Le(basic, 0, 2);
  basic.insert(basic.end(), name.begin(), name.end());
  basic.push_back(0);
  basic.push_back(0);
  std::vector<uint8_t> out = {unarj::kHeaderId0, unarj::kHeaderId1};
  Le(out, static_cast<uint32_t>(basic.size()), 2);
  out.insert(out.end(), basic.begin(), basic.end());
  Le(out, unarj::Crc32(0, basic.data(), basic.size()), 4);
  Le(out, 0, 2);
  return out;
}

inline uint32_t CrcOf(const std::string& s) {
  return unarj::Crc32(0, reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// A stored member holding text.
inline TCraftMember Stored(const std::string& name, const std::string& text) {
  return {name, std::vector<uint8_t>(text.begin(), text.end()), static_cast<uint32_t>(text.size()), CrcOf(text)};
}

inline std::vector<uint8_t> CraftArchive(const std::vector<TCraftMember>& members, uint8_t mainFlags = 0) {
  std::vector<uint8_t> out = CraftHeader(mainFlags, 0, 2, 0, 0, 0, 0, "crafted.arj");
  for (const TCraftMember& m : members) {
    const std::vector<uint8_t> h = CraftHeader(m.flags, m.method, m.fileType, static_cast<uint32_t>(m.packed.size()),
                                               m.originalSize, m.crc, m.mode, m.name);
    out.insert(out.end(), h.begin(), h.end());
    out.insert(out.end(), m.packed.begin(), m.packed.end());
  }
  out.insert(out.end(), {unarj::kHeaderId0, unarj::kHeaderId1, 0, 0});
  return out;
}

}  // namespace arj_test
