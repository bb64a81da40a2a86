#include "protocol/data_crc.h"

#include <cstring>

CDataCrc::CDataCrc() { Reset(); }

void CDataCrc::Reset() { std::memset(m_cells, 0, sizeof m_cells); }

void CDataCrc::Feed(uint8_t byte) {
    for (int bit = 0; bit < 8; ++bit) {
        const uint8_t f = m_cells[15] ^ ((byte >> bit) & 1u);
        m_cells[15] = m_cells[14] ^ f;
        for (int i = 14; i >= 3; --i) m_cells[i] = m_cells[i - 1];
        m_cells[2] = m_cells[1] ^ f;
        m_cells[1] = m_cells[0];
        m_cells[0] = f;
    }
}

void CDataCrc::Feed(const uint8_t* data, size_t len) {
    if (!data) return;
    for (size_t i = 0; i < len; ++i) Feed(data[i]);
}

uint16_t CDataCrc::Value() const {
    uint16_t value = 0;
    for (int i = 0; i < 16; ++i) value = static_cast<uint16_t>((value << 1) | m_cells[i]);
    return value;
}
