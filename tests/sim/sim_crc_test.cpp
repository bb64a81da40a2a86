#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "sim/sim_crc.h"

namespace rtq::sim {
namespace {

uint16_t CrcOf(const char* s) {
    return SimCrc16::Of(reinterpret_cast<const uint8_t*>(s), std::strlen(s));
}

// Bit by bit, the way the algorithm is defined: a table error shows here.
uint16_t BitwiseCrc(const std::vector<uint8_t>& data) {
    uint16_t crc = 0;
    for (uint8_t b : data) {
        crc ^= b;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

TEST(SimCrc16, KnownVectors) {
    EXPECT_EQ(CrcOf("123456789"), 0xBB3D);
    EXPECT_EQ(CrcOf("abc"), 0x9738);
    EXPECT_EQ(CrcOf(""), 0x0000);
}

TEST(SimCrc16, MatchesBitwiseDefinitionAndIsIncremental) {
    std::mt19937 rng(7);
    std::vector<uint8_t> data(70000);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    const uint16_t expected = BitwiseCrc(data);
    EXPECT_EQ(SimCrc16::Of(data.data(), data.size()), expected);

    SimCrc16 crc;
    for (size_t pos = 0, step = 1; pos < data.size(); pos += step, step = step * 3 % 997 + 1)
        crc.Update(data.data() + pos, std::min(step, data.size() - pos));
    EXPECT_EQ(crc.Value(), expected);
    crc.Reset();
    EXPECT_EQ(crc.Value(), 0);
}

}  // namespace
}  // namespace rtq::sim
