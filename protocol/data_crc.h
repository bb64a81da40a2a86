#pragma once
// CRC-16/ARC of the sector data, kept as the printer's own 16-cell shift
// register so that the value is computed the way the printer computes it.

#include <cstddef>
#include <cstdint>

class CDataCrc {
public:
    CDataCrc();
    void Reset();  // all cells 0
    void Feed(uint8_t byte);
    void Feed(const uint8_t* data, size_t len);
    uint16_t Value() const;  // cell0 is the most significant bit

private:
    uint8_t m_cells[16];
};
