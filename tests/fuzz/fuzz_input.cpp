#include "tests/fuzz/fuzz_input.h"

#include <algorithm>

namespace rtq::fuzz {

uint8_t FuzzInput::Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

uint16_t FuzzInput::U16() {
    const uint16_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
}

uint32_t FuzzInput::U32() {
    const uint32_t low = U16();
    return low | (static_cast<uint32_t>(U16()) << 16);
}

int64_t FuzzInput::Range(int64_t lo, int64_t hi) {
    if (hi <= lo) return lo;
    const uint64_t span = static_cast<uint64_t>(hi - lo) + 1;
    uint64_t raw = U32();
    if (span > 0xFFFFFFFFull) raw = (raw << 32) | U32();
    return lo + static_cast<int64_t>(raw % span);
}

std::vector<uint8_t> FuzzInput::Bytes(size_t maxLen) {
    size_t len = maxLen > 255 ? U16() : Byte();
    len = std::min({len, maxLen, Remaining()});
    std::vector<uint8_t> out(m_data + m_pos, m_data + m_pos + len);
    m_pos += len;
    return out;
}

std::string FuzzInput::Text(size_t maxLen) {
    const std::vector<uint8_t> bytes = Bytes(maxLen);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> FuzzInput::Rest() {
    std::vector<uint8_t> out(m_data + m_pos, m_data + m_size);
    m_pos = m_size;
    return out;
}

}  // namespace rtq::fuzz
