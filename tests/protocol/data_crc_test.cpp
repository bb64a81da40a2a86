#include "protocol/data_crc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Independent byte-wise CRC-16/ARC (reflected polynomial 0xA001).
uint16_t ReferenceArc(const std::vector<uint8_t>& data) {
    uint16_t crc = 0;
    for (uint8_t b : data) {
        crc ^= b;
        for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

std::vector<uint8_t> Bytes(const char* text) {
    return std::vector<uint8_t>(text, text + std::strlen(text));
}

uint16_t CrcOf(const std::vector<uint8_t>& data) {
    CDataCrc crc;
    crc.Feed(data.data(), data.size());
    return crc.Value();
}

TEST(DataCrc, KnownValues) {
    EXPECT_EQ(0x0000, CDataCrc().Value());
    EXPECT_EQ(0x9738, CrcOf(Bytes("abc")));
    EXPECT_EQ(0xBB3D, CrcOf(Bytes("123456789")));
    // A lone bit at either end of a byte: catches a reversed bit order.
    EXPECT_EQ(ReferenceArc({0x01}), CrcOf({0x01}));
    EXPECT_EQ(ReferenceArc({0x80}), CrcOf({0x80}));
    EXPECT_EQ(ReferenceArc({0xFF, 0xFF}), CrcOf({0xFF, 0xFF}));
}

TEST(DataCrc, MatchesReferenceOnAWholeSector) {
    std::vector<uint8_t> sector(65536);
    uint32_t x = 12345;
    for (uint8_t& b : sector) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    EXPECT_EQ(ReferenceArc(sector), CrcOf(sector));
    // Erased flash: all 0xFF.
    std::vector<uint8_t> erased(16384, 0xFF);
    EXPECT_EQ(ReferenceArc(erased), CrcOf(erased));
}

TEST(DataCrc, FeedingInPiecesAndResetting) {
    const std::vector<uint8_t> data = Bytes("123456789");
    CDataCrc crc;
    for (uint8_t b : data) crc.Feed(b);
    EXPECT_EQ(0xBB3D, crc.Value());

    CDataCrc pieces;
    pieces.Feed(data.data(), 4);
    pieces.Feed(nullptr, 10);  // no data: no change
    pieces.Feed(data.data() + 4, data.size() - 4);
    EXPECT_EQ(0xBB3D, pieces.Value());

    pieces.Reset();
    EXPECT_EQ(0, pieces.Value());
    pieces.Feed(data.data(), 3);
    EXPECT_EQ(ReferenceArc({'1', '2', '3'}), pieces.Value());
}

}  // namespace
