#include "MacBinary.h"

#include <algorithm>

namespace unlha {
namespace {

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

uint64_t Padded(uint64_t n) { return (n + 127) / 128 * 128; }

// CRC-16/XMODEM (polynomial 0x1021, no reflection), the header check of MacBinary II.
uint16_t CrcXmodem(std::span<const uint8_t> bytes) {
  unsigned crc = 0;
  for (uint8_t b : bytes) {
    crc ^= static_cast<unsigned>(b) << 8;
    for (int k = 0; k < 8; ++k) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
  }
  return static_cast<uint16_t>(crc);
}

}  // namespace

bool ParseMacBinaryHeader(std::span<const uint8_t> h, uint64_t total, TMacBinaryForks& forks) {
  if (h.size() < TMacBinarySink::kHeader) return false;
  // Fixed zero bytes and a file name of 1 to 63 characters.
  if (h[0] != 0 || h[74] != 0 || h[82] != 0 || h[1] == 0 || h[1] > 63) return false;
  forks.data = Be32(&h[83]);
  forks.resource = Be32(&h[87]);
  if (forks.data > 0x7FFFFFFF || forks.resource > 0x7FFFFFFF) return false;
  // MacBinary II and later carry a CRC of the header's first 124 bytes.
  if (h[122] >= 129 && CrcXmodem(h.first(124)) != (h[124] << 8 | h[125])) return false;
  // The forks must fill the member exactly (the last one's padding may be left out).
  if (total < TMacBinarySink::kHeader) return false;
  uint64_t body = total - TMacBinarySink::kHeader;
  if (forks.resource == 0) return body == forks.data || body == Padded(forks.data);
  return body == Padded(forks.data) + forks.resource || body == Padded(forks.data) + Padded(forks.resource);
}

bool TMacBinarySink::Put(const uint8_t* data, size_t n) {
  if (!FDecided) {
    size_t take = std::min(n, kHeader - FHeader.size());
    FHeader.append(reinterpret_cast<const char*>(data), take);
    data += take;
    n -= take;
    if (FHeader.size() < kHeader) return true;
    FDecided = true;
    FMacBinary = ParseMacBinaryHeader({reinterpret_cast<const uint8_t*>(FHeader.data()), kHeader}, FTotal, FForks);
    if (!FMacBinary && !FOut.Put(reinterpret_cast<const uint8_t*>(FHeader.data()), kHeader)) return false;
  }
  if (!FMacBinary) return n == 0 || FOut.Put(data, n);
  // Data fork, its padding, then the resource fork and its padding.
  const uint64_t resourceAt = Padded(FForks.data);
  while (n > 0) {
    size_t k = n;
    if (FPos < FForks.data) {
      k = static_cast<size_t>(std::min<uint64_t>(n, FForks.data - FPos));
      if (!FOut.Put(data, k)) return false;
    } else if (FPos < resourceAt) {
      k = static_cast<size_t>(std::min<uint64_t>(n, resourceAt - FPos));
    } else if (FPos < resourceAt + FForks.resource) {
      k = static_cast<size_t>(std::min<uint64_t>(n, resourceAt + FForks.resource - FPos));
      if (FForks.resource <= kMaxResourceFork) FResource.append(reinterpret_cast<const char*>(data), k);
    }
    data += k;
    n -= k;
    FPos += k;
  }
  return true;
}

bool TMacBinarySink::Finish() {
  if (FDecided) return true;
  FDecided = true;
  return FHeader.empty() || FOut.Put(reinterpret_cast<const uint8_t*>(FHeader.data()), FHeader.size());
}

}  // namespace unlha
