#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kordex::link {

// Dallas/Maxim 1-Wire CRC-8 (x^8 + x^5 + x^4 + 1, reflected 0x8C, initial 0),
// the check of reader frames and of key IDs.
extern const std::array<uint8_t, 256> Crc8Table;

uint8_t Crc8(const uint8_t* data, size_t n);

// CRC over bytes 0..n-2. True when byte n-1 already holds it; otherwise the
// computed value is stored into byte n-1 and the result is false, which is how
// a frame being built gets its CRC.
bool Crc8Check(uint8_t* buffer, size_t n);

}  // namespace kordex::link
