#include "sim/sim_crc.h"

#include <array>

namespace rtq::sim {

namespace {

constexpr std::array<uint16_t, 256> MakeTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t r = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 1) ? static_cast<uint16_t>((r >> 1) ^ 0xA001)
                        : static_cast<uint16_t>(r >> 1);
        table[i] = r;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();

}  // namespace

void SimCrc16::Update(const uint8_t* data, size_t len) {
    uint16_t crc = m_value;
    for (size_t i = 0; i < len; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ kTable[(crc ^ data[i]) & 0xFF]);
    m_value = crc;
}

uint16_t SimCrc16::Of(const uint8_t* data, size_t len) {
    SimCrc16 crc;
    crc.Update(data, len);
    return crc.Value();
}

}  // namespace rtq::sim
