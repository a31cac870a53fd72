#include "Crc16.h"

#include <array>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TIDEKEEP_CLMUL_CRC 1
#endif

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

uint16_t TableCrc16(uint16_t crc, std::span<const uint8_t> bytes) {
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

#if TIDEKEEP_CLMUL_CRC
// Carry-less multiplication folds the data 64 bytes a step into a 128-bit value of the same
// remainder, whose 16 bytes then go through the table. In the reflected bit order byte 0's low
// bit is the highest power; a product of two such 64-bit halves lands one bit short of that
// order, which the constants make up for by being x^(n-1) mod P where x^n is meant.
constexpr uint32_t kPoly = 0x18005; // x^16 + x^15 + x^2 + 1

constexpr uint64_t XPowMod(unsigned n) {
  uint32_t r = 1;
  for (unsigned i = 0; i < n; ++i) {
    r <<= 1;
    if ((r & 0x10000u) != 0) r ^= kPoly;
  }
  uint64_t reflected = 0; // degree d at bit 63 - d
  for (unsigned d = 0; d < 16; ++d)
    if ((r >> d) & 1u) reflected |= uint64_t{1} << (63 - d);
  return reflected;
}

// A value moved on by n bits, k holding the constants for its second half (n) and first (n + 64).
__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i v, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(v, k, 0x00), _mm_clmulepi64_si128(v, k, 0x11));
}

__attribute__((target("pclmul,sse2"))) uint16_t ClmulCrc16(uint16_t crc, std::span<const uint8_t> bytes) {
  const uint8_t* p = bytes.data();
  size_t n = bytes.size();
  constexpr uint64_t k575 = XPowMod(575), k511 = XPowMod(511), k191 = XPowMod(191), k127 = XPowMod(127);
  const __m128i by512 = _mm_set_epi64x(static_cast<long long>(k511), static_cast<long long>(k575));
  const __m128i by128 = _mm_set_epi64x(static_cast<long long>(k127), static_cast<long long>(k191));
  auto load = [](const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
  // The running CRC joins the first two bytes, as the table loop would take it.
  __m128i a0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(crc));
  __m128i a1 = load(p + 16), a2 = load(p + 32), a3 = load(p + 48);
  p += 64;
  n -= 64;
  for (; n >= 64; p += 64, n -= 64) {
    a0 = _mm_xor_si128(Fold(a0, by512), load(p));
    a1 = _mm_xor_si128(Fold(a1, by512), load(p + 16));
    a2 = _mm_xor_si128(Fold(a2, by512), load(p + 32));
    a3 = _mm_xor_si128(Fold(a3, by512), load(p + 48));
  }
  __m128i a = _mm_xor_si128(Fold(a0, by128), a1);
  a = _mm_xor_si128(Fold(a, by128), a2);
  a = _mm_xor_si128(Fold(a, by128), a3);
  alignas(16) uint8_t rest[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(rest), a);
  return TableCrc16(TableCrc16(0, rest), std::span(p, n));
}

bool HasClmul() {
  static const bool has = __builtin_cpu_supports("pclmul");
  return has;
}
#endif

}  // namespace

uint16_t Crc16(uint16_t crc, std::span<const uint8_t> bytes) {
#if TIDEKEEP_CLMUL_CRC
  if (bytes.size() >= 128 && HasClmul()) return ClmulCrc16(crc, bytes);
#endif
  return TableCrc16(crc, bytes);
}

}  // namespace unlha
