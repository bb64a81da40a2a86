#include "tests/fuzz/crc16_arc.h"

#include <array>

namespace rtq::fuzz {

namespace {

std::array<uint16_t, 256> MakeTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned n = 0; n < 256; ++n) {
        uint16_t crc = static_cast<uint16_t>(n);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<uint16_t>(crc >> 1);
        table[n] = crc;
    }
    return table;
}

}  // namespace

uint16_t Crc16Arc(const uint8_t* data, size_t len, uint16_t crc) {
    static const std::array<uint16_t, 256> table = MakeTable();
    for (size_t i = 0; i < len; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ table[(crc ^ data[i]) & 0xFF]);
    return crc;
}

}  // namespace rtq::fuzz
