#include <gtest/gtest.h>

#include <algorithm>

#include "tests/protocol/link_fixtures.h"

namespace rtq::test {
namespace {

const Bytes kMobilePrinter = Text("Mobile Printer");

// Sector blocks with a distinct fill per block, so a block sent twice, out
// of order or not at all shows in the frames and in the CRC.
struct Blocks {
    Blocks(int count, int size) {
        for (int k = 0; k < count; ++k) {
            data[k].resize(static_cast<size_t>(size));
            for (int i = 0; i < size; ++i)
                data[k][static_cast<size_t>(i)] = static_cast<uint8_t>(k * 37 + i * 13);
            ptr[k] = data[k].data();
        }
    }
    Bytes All() const {
        Bytes all;
        for (const Bytes& b : data) all.insert(all.end(), b.begin(), b.end());
        return all;
    }
    Bytes data[4];
    uint8_t* ptr[4] = {nullptr, nullptr, nullptr, nullptr};
};

uint16_t CrcOf(const Bytes& data) {
    CDataCrc crc;
    crc.Feed(data.data(), data.size());
    return crc.Value();
}

TEST_F(SerialLinkTest, RawFramesGoOutInOneWriteAndReadNothing) {
    EXPECT_EQ(1, link.SendRaw(kCmdSwitchToDownload, 3));
    EXPECT_EQ(1, link.SendRaw(kCmdReset, 2));
    EXPECT_EQ((std::vector<Bytes>{{0x1D, 0x5B, 0x7D}, {0x1D, 0xFF}}), WriteCalls());
    EXPECT_EQ(0, serial.ReadCalls());
    EXPECT_EQ(200, clock.SleptMs());

    serial.SetWriteFails(true);
    EXPECT_EQ(0, link.SendRaw(kCmdReset, 2));
    EXPECT_EQ(0, link.SendRaw(nullptr, 2));
}

TEST_F(SerialLinkTest, SelectAndEraseWriteThePrefixThenTheSectorByte) {
    AnswerAfterWrite(2, {ACK});
    EXPECT_EQ(1, link.SelectSector(kCmdSelectSector, 2, 5));
    EXPECT_EQ((std::vector<Bytes>{{0x1D, 0x02}, {0x05}}), WriteCalls());
    EXPECT_EQ(200, clock.SleptMs());  // two write pauses, answer at once

    serial.ClearWrites();
    AnswerAfterWrite(2, {ACK});
    EXPECT_EQ(1, link.EraseSector(kCmdEraseSector, 2, 70));
    EXPECT_EQ((std::vector<Bytes>{{0x1D, 0x10}, {0x46}}), WriteCalls());
}

TEST_F(SerialLinkTest, SectorCommandsAcceptOnlyAck) {
    serial.PushInput({NAK});
    EXPECT_EQ(0, link.SelectSector(kCmdSelectSector, 2, 1));
    serial.PushInput({0x41});
    EXPECT_EQ(0, link.EraseSector(kCmdEraseSector, 2, 1));

    // A silent printer: given up after the read deadline.
    clock.ResetSlept();
    EXPECT_EQ(0, link.SelectSector(kCmdSelectSector, 2, 1));
    EXPECT_GE(clock.SleptMs(), 200 + 10000);
    EXPECT_LE(clock.SleptMs(), 200 + 12000);
}

TEST_F(SerialLinkTest, FailedPrefixWriteSendsNoSectorByte) {
    serial.FailWriteCall(1);
    EXPECT_EQ(0, link.EraseSector(kCmdEraseSector, 2, 3));
    for (const Bytes& call : WriteCalls()) EXPECT_NE(Bytes{0x03}, call);
    EXPECT_EQ(0, serial.ReadCalls());
}

TEST_F(SerialLinkTest, WholeSectorIsSentAsPrefixFourHeaderBytesAndBlocks) {
    RecordingNotifyWindow progress;
    Blocks blocks(4, 16384);
    AnswerAfterWrite(9, {ACK});
    EXPECT_EQ(1, link.SendSectorData(kCmdDownloadData, 2, 0, 65536, 16384,
                                     blocks.ptr, &progress));

    std::vector<Bytes> expected = {{0x1D, 0x11}, {0x00}, {0x00}, {0x00}, {0x00}};
    for (const Bytes& b : blocks.data) expected.push_back(b);
    EXPECT_EQ(expected, WriteCalls());
    EXPECT_EQ(900, clock.SleptMs());
    EXPECT_EQ(CrcOf(blocks.All()), link.GetDataCrc());

    const auto msgs = progress.Messages();
    ASSERT_EQ(6u, msgs.size());
    EXPECT_EQ(WM_SET_AUTO_STEP, msgs[0].msg);
    EXPECT_EQ(0, msgs[0].lParam);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(WM_SET_PROGRESS_RANGE, msgs[k + 1].msg);
        EXPECT_EQ(65536u, msgs[k + 1].wParam);
        EXPECT_EQ(16384 * (k + 1), msgs[k + 1].lParam);
    }
    EXPECT_EQ(WM_SET_AUTO_STEP, msgs[5].msg);
    EXPECT_EQ(1, msgs[5].lParam);
    for (const auto& m : msgs) EXPECT_FALSE(m.posted);
}

TEST_F(SerialLinkTest, SmallSectorCarriesItsSizeLowByteFirst) {
    RecordingNotifyWindow progress;
    Blocks blocks(1, 8192);
    AnswerAfterWrite(6, {ACK});
    EXPECT_EQ(1, link.SendSectorData(kCmdDownloadData, 2, 0x1234, 8192, 8192,
                                     blocks.ptr, &progress));
    const std::vector<Bytes> calls = WriteCalls();
    ASSERT_EQ(6u, calls.size());
    EXPECT_EQ((std::vector<Bytes>{{0x34}, {0x12}, {0x00}, {0x20}}),
              std::vector<Bytes>(calls.begin() + 1, calls.begin() + 5));
    EXPECT_EQ(blocks.data[0], calls[5]);
    // One block, so one progress step between the two auto-step messages.
    EXPECT_EQ((std::vector<UINT>{WM_SET_AUTO_STEP, WM_SET_PROGRESS_RANGE, WM_SET_AUTO_STEP}),
              progress.Codes());
    EXPECT_EQ(CrcOf(blocks.data[0]), link.GetDataCrc());
}

TEST_F(SerialLinkTest, AbcDataGivesItsKnownCrcAndHeaderBytesStayOut) {
    uint8_t abc[] = {'a', 'b', 'c'};
    uint8_t* blocks[4] = {abc, nullptr, nullptr, nullptr};
    serial.PushInput({ACK});
    EXPECT_EQ(1, link.SendSectorData(kCmdDownloadData, 2, 0, 3, 3, blocks, nullptr));
    EXPECT_EQ(0x9738, link.GetDataCrc());
}

TEST_F(SerialLinkTest, CrcRegisterRestartsWithEachSector) {
    Blocks first(2, 8192);
    Blocks second(1, 8192);
    second.data[0][0] ^= 0xFF;
    serial.PushInput({ACK});
    ASSERT_EQ(1, link.SendSectorData(kCmdDownloadData, 2, 0, 16384, 8192, first.ptr, nullptr));
    serial.PushInput({ACK});
    ASSERT_EQ(1, link.SendSectorData(kCmdDownloadData, 2, 0, 8192, 8192, second.ptr, nullptr));
    EXPECT_EQ(CrcOf(second.data[0]), link.GetDataCrc());
}

TEST_F(SerialLinkTest, SectorDataAcceptsAnyAnswerButNak) {
    Blocks blocks(1, 8192);
    serial.PushInput({0x41});
    EXPECT_EQ(1, link.SendSectorData(kCmdDownloadData, 2, 0, 8192, 8192, blocks.ptr, nullptr));
    serial.PushInput({NAK});
    EXPECT_EQ(0, link.SendSectorData(kCmdDownloadData, 2, 0, 8192, 8192, blocks.ptr, nullptr));
    EXPECT_EQ(0, link.SendSectorData(kCmdDownloadData, 2, 0, 8192, 8192, blocks.ptr, nullptr));
}

TEST_F(SerialLinkTest, FailedBlockWriteStopsTheSector) {
    RecordingNotifyWindow progress;
    Blocks blocks(4, 16384);
    serial.PushInput({ACK});
    serial.FailWriteCall(7);  // the second block
    EXPECT_EQ(0, link.SendSectorData(kCmdDownloadData, 2, 0, 65536, 16384,
                                     blocks.ptr, &progress));
    for (const Bytes& call : WriteCalls()) {
        EXPECT_NE(blocks.data[2], call);
        EXPECT_NE(blocks.data[3], call);
    }
    EXPECT_EQ(0, serial.ReadCalls());
    EXPECT_EQ((std::vector<UINT>{WM_SET_AUTO_STEP, WM_SET_PROGRESS_RANGE}), progress.Codes());
}

TEST_F(SerialLinkTest, ChecksumIsStatusThenLowThenHigh) {
    uint16_t value = 0;
    serial.PushInput({ACK, 0x34, 0x12});
    EXPECT_EQ(1, link.QueryChecksum(kCmdQueryChecksum, 2, &value));
    EXPECT_EQ(0x1234, value);
    EXPECT_EQ((std::vector<Bytes>{{0x1D, 0x06}}), WriteCalls());

    // Any status but NAK goes on.
    serial.PushInput({0x41, 0xCD, 0xAB});
    EXPECT_EQ(1, link.QueryChecksum(kCmdQueryChecksum, 2, &value));
    EXPECT_EQ(0xABCD, value);
}

TEST_F(SerialLinkTest, ChecksumFailuresLeaveTheValueAlone) {
    uint16_t value = 0x5555;
    serial.PushInput({NAK, 0x34, 0x12});
    EXPECT_EQ(0, link.QueryChecksum(kCmdQueryChecksum, 2, &value));
    EXPECT_EQ(1, serial.ReadCalls());  // nothing read after the NAK
    serial.ClearInput();

    serial.PushInput({ACK, 0x34});  // high byte never comes
    EXPECT_EQ(0, link.QueryChecksum(kCmdQueryChecksum, 2, &value));
    EXPECT_EQ(0x5555, value);
}

TEST_F(SerialLinkTest, RecalculateCrcWaitsSixtyFiveSecondsBeforeTheStatus) {
    int64_t firstReadAt = -1;
    serial.SetReadHook([&] {
        if (firstReadAt < 0) firstReadAt = NowMs();
    });
    const int64_t start = NowMs();
    serial.PushInput({ACK, 0x02, 0x01});
    uint16_t value = 0;
    EXPECT_EQ(1, link.RecalculateCrc(kCmdRecalculateCrc, 2, &value));
    EXPECT_EQ(0x0102, value);
    EXPECT_EQ((std::vector<Bytes>{{0x1D, 0x0F}}), WriteCalls());
    EXPECT_EQ(start + 100 + 65000, firstReadAt);
    EXPECT_EQ(65100, clock.SleptMs());
}

TEST_F(SerialLinkTest, IdentityTextDecidesBetweenOneAndTwo) {
    serial.PushInput(Cat({ACK}, kMobilePrinter));
    EXPECT_EQ(1, link.CheckIdentity(kCmdIdentity, 2));
    EXPECT_EQ((std::vector<Bytes>{{0x1D, 0x00}}), WriteCalls());
    EXPECT_EQ(200, clock.SleptMs());  // write pause and the 100 ms pause

    serial.PushInput(Cat({ACK}, Text("Mobile Printex")));
    EXPECT_EQ(2, link.CheckIdentity(kCmdIdentity, 2));

    // The text ends at its first zero byte.
    Bytes cut = kMobilePrinter;
    cut[6] = 0;
    serial.PushInput(Cat({ACK}, cut));
    EXPECT_EQ(2, link.CheckIdentity(kCmdIdentity, 2));
}

TEST_F(SerialLinkTest, IdentityIgnoresStaleBytesBeyondTheText) {
    std::memset(receivedBuffer, 'x', sizeof receivedBuffer);
    serial.PushInput(Cat({ACK}, kMobilePrinter));
    EXPECT_EQ(1, link.CheckIdentity(kCmdIdentity, 2));
}

TEST_F(SerialLinkTest, IdentityWithoutValidAnswerIsZero) {
    serial.PushInput(Cat({NAK}, kMobilePrinter));
    EXPECT_EQ(0, link.CheckIdentity(kCmdIdentity, 2));
    EXPECT_EQ(1, serial.ReadCalls());
    serial.ClearInput();

    serial.PushInput(Cat({ACK}, Text("Mobile Pri")));  // text cut short
    EXPECT_EQ(0, link.CheckIdentity(kCmdIdentity, 2));

    serial.SetWriteFails(true);
    EXPECT_EQ(0, link.CheckIdentity(kCmdIdentity, 2));
}

TEST_F(SerialLinkTest, LineCheckDiscardsWaitingInputFirst) {
    serial.PushInput({NAK, NAK});  // left over from before
    AnswerAfterWrite(1, {ACK, 0x00});
    EXPECT_EQ(1, link.CheckLine(kCmdCheckLine, 2));
    EXPECT_EQ(1, serial.PurgeCount());
    const auto calls = serial.Calls();
    const auto purge = std::find(calls.begin(), calls.end(), "Purge");
    const auto write = std::find(calls.begin(), calls.end(), "Write 2");
    EXPECT_LT(purge, write);
    EXPECT_EQ((std::vector<Bytes>{{0x1D, 0x01}}), WriteCalls());
}

TEST_F(SerialLinkTest, LineCheckNeedsAckAndASecondByte) {
    AnswerAfterWrite(1, {ACK});
    EXPECT_EQ(0, link.CheckLine(kCmdCheckLine, 2));

    AnswerAfterWrite(1, {NAK, 0x00});
    const int readsBefore = serial.ReadCalls();
    EXPECT_EQ(0, link.CheckLine(kCmdCheckLine, 2));
    EXPECT_EQ(readsBefore + 1, serial.ReadCalls());

    AnswerAfterWrite(1, {0x41, 0x00});
    EXPECT_EQ(0, link.CheckLine(kCmdCheckLine, 2));
}

TEST_F(SerialLinkTest, CancelEndsTheCommandAfterItsFirstWrite) {
    serial.PushInput({ACK});
    g_bCancelled = 1;
    EXPECT_EQ(0, link.SelectSector(kCmdSelectSector, 2, 4));
    EXPECT_EQ((std::vector<Bytes>{{0x1D, 0x02}}), WriteCalls());
    EXPECT_EQ(0, serial.ReadCalls());
}

// Arguments that cannot be put on the wire as asked would address another
// sector or announce a wrong size: refused before anything is sent.
TEST_F(SerialLinkTest, UnframeableArgumentsAreRefusedUnsent) {
    uint16_t value = 0;
    Blocks blocks(1, 8192);
    EXPECT_EQ(0, link.SelectSector(kCmdSelectSector, 2, 256));
    EXPECT_EQ(0, link.EraseSector(kCmdEraseSector, 2, -1));
    EXPECT_EQ(0, link.SendSectorData(kCmdDownloadData, 2, 0, 65537, 8192, blocks.ptr, nullptr));
    EXPECT_EQ(0, link.SendSectorData(kCmdDownloadData, 2, 0, 0, 8192, blocks.ptr, nullptr));
    EXPECT_EQ(0, link.SendSectorData(kCmdDownloadData, 2, 0, 8192, 0, blocks.ptr, nullptr));
    EXPECT_EQ(0, link.CheckLine(nullptr, 2));
    EXPECT_EQ(0, link.CheckIdentity(kCmdIdentity, 0));
    EXPECT_EQ(0, link.QueryChecksum(nullptr, 2, &value));
    EXPECT_TRUE(serial.Writes().empty());
}

}  // namespace
}  // namespace rtq::test
