// CRC-16 of LHA data and headers: polynomial 0xA001 (reflected 0x8005), initial value 0.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace unlha {

// Continues crc over bytes; start with 0.
uint16_t Crc16(uint16_t crc, std::span<const uint8_t> bytes);

}  // namespace unlha
