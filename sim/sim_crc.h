#pragma once
// CRC-16/ARC (reflected polynomial 0xA001, initial value 0, no final xor),
// the checksum the printer keeps over the data of a sector. Table-driven.

#include <cstddef>
#include <cstdint>

namespace rtq::sim {

class SimCrc16 {
public:
    void Reset() { m_value = 0; }
    void Update(const uint8_t* data, size_t len);
    uint16_t Value() const { return m_value; }

    // The CRC of one buffer.
    static uint16_t Of(const uint8_t* data, size_t len);

private:
    uint16_t m_value = 0;
};

}  // namespace rtq::sim
