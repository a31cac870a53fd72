// What the archive view and browser tests share: archives packed by jlha or our own tool from
// files written in a scratch folder, and small hand-laid LHA archives for what no tool writes
// (stamps that are not dates, sizes that do not match the data). The test main() provides the
// application object.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../restore/RestoreTestSupport.h"
#include "Peers.h"

namespace browsetest {

using restoretest::ScratchDir;

inline void WriteFile(const std::filesystem::path& path, std::string_view content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string Quote(const std::string& s) { return "'" + s + "'"; }

// jlha packs the named files of base (paths relative to it) into archive, in that order.
inline void JlhaArchive(const std::string& archive, const std::filesystem::path& base,
                        const std::vector<std::string>& names) {
  std::string cmd = "cd " + Quote(base.string()) + " && jlha a " + Quote(archive);
  for (const auto& n : names) cmd += " " + Quote(n);
  cmd += " >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

// The two packers the views are tried on: the jlha peer and our own library's tool.
enum class Packer { Jlha, Ours };

inline std::string PackerName(const ::testing::TestParamInfo<Packer>& info) {
  return info.param == Packer::Jlha ? "jlha" : "tidekeep_lha";
}

// Our tool packs the named files of base into archive, keeping their folders in the names.
inline void OurArchive(const std::string& archive, const std::filesystem::path& base,
                       const std::vector<std::string>& names) {
  std::string cmd = Quote(TK_TIDEKEEP_LHA) + " a -r2 -x1 " + Quote(archive) + " " + Quote(base.string() + "/");
  for (const auto& n : names) cmd += " " + Quote(n);
  cmd += " >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

inline void PackWith(Packer packer, const std::string& archive, const std::filesystem::path& base,
                     const std::vector<std::string>& names) {
  if (packer == Packer::Jlha) {
    JlhaArchive(archive, base, names);
  } else {
    OurArchive(archive, base, names);
  }
}

constexpr std::uint16_t DosDate(int year, int month, int day) {
  return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
constexpr std::uint16_t DosTime(int hour, int minute, int second) {
  return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

// One member of a hand-laid archive (level-0 headers, which carry the MS-DOS stamp as is).
struct RawMember {
  std::string name;
  std::string data;
  std::uint16_t date = DosDate(2010, 6, 17);
  std::uint16_t time = DosTime(14, 35, 12);
  std::string method = "-lh0-";
  std::uint32_t originalSize = UINT32_MAX;  // UINT32_MAX: the data's size
  bool badCrc = false;                      // a CRC that does not match the data
};

inline std::uint16_t Crc16(std::string_view data) {
  std::uint16_t crc = 0;
  for (unsigned char c : data) {
    crc ^= c;
    for (int i = 0; i < 8; ++i) crc = static_cast<std::uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
  }
  return crc;
}

inline void RawArchive(const std::string& path, const std::vector<RawMember>& members) {
  std::string out;
  auto le = [](std::string& s, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  for (const auto& m : members) {
    std::string h;
    h += m.method;
    le(h, static_cast<std::uint32_t>(m.data.size()), 4);
    le(h, m.originalSize == UINT32_MAX ? static_cast<std::uint32_t>(m.data.size()) : m.originalSize, 4);
    le(h, m.time, 2);
    le(h, m.date, 2);
    h += '\x20';  // attribute: archive
    h += '\x00';  // header level 0
    h += static_cast<char>(m.name.size());
    h += m.name;
    le(h, static_cast<std::uint16_t>(Crc16(m.data) ^ (m.badCrc ? 0x5A5A : 0)), 2);
    unsigned sum = 0;
    for (unsigned char c : h) sum += c;
    out += static_cast<char>(h.size());
    out += static_cast<char>(sum & 0xFF);
    out += h;
    out += m.data;
  }
  out += '\0';
  WriteFile(path, out);
}

}  // namespace browsetest
