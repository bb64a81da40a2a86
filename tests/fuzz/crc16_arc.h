#pragma once
// CRC-16/ARC (reflected polynomial 0xA001, initial value 0): the targets'
// own reference, apart from the host's and the simulator's.

#include <cstddef>
#include <cstdint>

namespace rtq::fuzz {

// crc continues an earlier value, so the data may come in pieces.
uint16_t Crc16Arc(const uint8_t* data, size_t len, uint16_t crc = 0);

}  // namespace rtq::fuzz
