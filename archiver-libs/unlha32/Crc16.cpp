#include "Crc16.h"

#include <array>

namespace unlha {
namespace {

// Eight tables so that the loop takes eight bytes per step.
using TTables = std::array<std::array<uint16_t, 256>, 8>;

constexpr TTables MakeTables() {
  TTables t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
    t[0][i] = static_cast<uint16_t>(c);
  }
  for (unsigned i = 0; i < 256; ++i)
    for (size_t k = 1; k < 8; ++k)
      t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
  return t;
}

constexpr TTables kTables = MakeTables();

}  // namespace

uint16_t Crc16(uint16_t crc, std::span<const uint8_t> bytes) {
  const uint8_t* p = bytes.data();
  size_t n = bytes.size();
  unsigned c = crc;
  while (n >= 8) {
    c ^= static_cast<unsigned>(p[0]) | (static_cast<unsigned>(p[1]) << 8);
    c = kTables[7][c & 0xFF] ^ kTables[6][c >> 8] ^ kTables[5][p[2]] ^ kTables[4][p[3]] ^ kTables[3][p[4]] ^
        kTables[2][p[5]] ^ kTables[1][p[6]] ^ kTables[0][p[7]];
    p += 8;
    n -= 8;
  }
  while (n--) c = (c >> 8) ^ kTables[0][(c ^ *p++) & 0xFF];
  return static_cast<uint16_t>(c);
}

}  // namespace unlha
