#pragma once
// Host-side frames as byte vectors, spelled out byte by byte so the tests
// do not share any code with the printer they test.

#include <cstdint>
#include <string>
#include <vector>

namespace rtq::sim::test {

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes SwitchFrame() { return {0x1D, 0x5B, 0x7D}; }
inline Bytes LineFrame() { return {0x1D, 0x01}; }
inline Bytes IdentityFrame() { return {0x1D, 0x00}; }
inline Bytes EraseFrame(uint8_t s) { return {0x1D, 0x10, s}; }
inline Bytes SelectFrame(uint8_t s) { return {0x1D, 0x02, s}; }
inline Bytes ChecksumFrame() { return {0x1D, 0x06}; }
inline Bytes RecalcFrame() { return {0x1D, 0x0F}; }
inline Bytes ResetFrame() { return {0x1D, 0xFF}; }

// 1D 11 00 00 LL HH + data; a 65536-byte block is announced as 00 00.
inline Bytes DataFrame(const Bytes& data, uint16_t word = 0) {
    const uint32_t n = static_cast<uint32_t>(data.size());
    Bytes f = {0x1D, 0x11, static_cast<uint8_t>(word & 0xFF),
               static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(n & 0xFF),
               static_cast<uint8_t>((n >> 8) & 0xFF)};
    f.insert(f.end(), data.begin(), data.end());
    return f;
}

inline Bytes PinFrame(const std::string& pin) {
    Bytes f = {0x1D, 0x1D, 0x50, static_cast<uint8_t>(pin.empty() ? 0 : 1)};
    for (char c : pin) f.push_back(static_cast<uint8_t>(c));
    f.push_back(0x00);
    return f;
}

inline Bytes NameFrame(const std::string& name) {
    Bytes f = {0x1D, 0x1D, 0x51, 0x46, static_cast<uint8_t>(name.size())};
    for (char c : name) f.push_back(static_cast<uint8_t>(c));
    return f;
}

// A recognisable block: byte i is (i * 7 + seed) & 0xFF.
inline Bytes Pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + seed);
    return b;
}

}  // namespace rtq::sim::test
