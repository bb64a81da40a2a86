#include <gtest/gtest.h>

#include "tests/protocol/link_fixtures.h"

namespace rtq::test {
namespace {

const Bytes kMobilePrinter = Text("Mobile Printer");

TEST_F(UsbLinkTest, RawFramesGoOutInOneOverlappedWrite) {
    EXPECT_EQ(1, link.SendRaw(kCmdSwitchToDownload, 3));
    EXPECT_EQ((std::vector<Bytes>{{0x1D, 0x5B, 0x7D}}), WriteCalls());
    EXPECT_TRUE(listens.empty());

    usb.ScriptWriteResults({UsbWriteStatus::Error});
    EXPECT_EQ(0, link.SendRaw(kCmdReset, 2));
}

TEST_F(UsbLinkTest, SectorCommandIsOneWriteAndOneByteAnswer) {
    replies = {{ACK}, {ACK}};
    EXPECT_EQ(1, link.SelectSector(kCmdSelectSector, 2, 5));
    EXPECT_EQ(1, link.EraseSector(kCmdEraseSector, 2, 70));
    EXPECT_EQ((std::vector<Bytes>{{0x1D, 0x02, 0x05}, {0x1D, 0x10, 0x46}}), WriteCalls());
    EXPECT_EQ((std::vector<WPARAM>{1, 1}), ListenCounts());
    EXPECT_EQ(2, wnd.killCalls());

    replies = {{0x41}};
    EXPECT_EQ(0, link.SelectSector(kCmdSelectSector, 2, 5));
}

TEST_F(UsbLinkTest, SilentSectorCommandGivesUpAfterThirtySeconds) {
    EXPECT_EQ(0, link.EraseSector(kCmdEraseSector, 2, 1));
    ASSERT_EQ(1u, listens.size());
    const int64_t waited = NowMs() - listens[0].atMs;
    EXPECT_GE(waited, 30000);
    EXPECT_LE(waited, 31000);
    EXPECT_EQ(1, wnd.killCalls());
}

TEST_F(UsbLinkTest, StaleAnswerBytesAreClearedBeforeListening) {
    // The receive side signals without storing anything: only a cleared
    // buffer keeps an old ACK from passing for the answer.
    wnd.onSend = [this](UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_START_RECV_USB) wnd.SignalReceivedUSB();
        return 1;
    };
    receivedBuffer[0] = ACK;
    EXPECT_EQ(0, link.SelectSector(kCmdSelectSector, 2, 1));
    receivedBuffer[0] = ACK;
    EXPECT_EQ(0, link.CheckLine(kCmdCheckLine, 2));
}

TEST_F(UsbLinkTest, ReplyEventIsClearedBeforeListening) {
    wnd.SignalReceivedUSB();  // left set by an earlier answer
    EXPECT_EQ(0, link.CheckLine(kCmdCheckLine, 2));
    EXPECT_GE(NowMs() - listens.at(0).atMs, 3000);
}

TEST_F(UsbLinkTest, SectorDataIsHeaderFrameThenBlocksAcceptedOnlyOnAck) {
    RecordingNotifyWindow progress;
    Bytes block0(16384, 0xA5), block1(16384, 0x5A);
    uint8_t* blocks[4] = {block0.data(), block1.data(), nullptr, nullptr};
    replies = {{ACK}};
    EXPECT_EQ(1, link.SendSectorData(kCmdDownloadData, 2, 0, 32768, 16384, blocks, &progress));
    const std::vector<Bytes> calls = WriteCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ((Bytes{0x1D, 0x11, 0x00, 0x00, 0x00, 0x80}), calls[0]);
    EXPECT_EQ(Cat(Cat({0x1D, 0x11, 0x00, 0x00, 0x00, 0x80}, block0), block1),
              usb.WrittenBytes());
    EXPECT_EQ((std::vector<WPARAM>{1}), ListenCounts());
    EXPECT_EQ((std::vector<UINT>{WM_SET_AUTO_STEP, WM_SET_PROGRESS_RANGE,
                                 WM_SET_PROGRESS_RANGE, WM_SET_AUTO_STEP}),
              progress.Codes());
    CDataCrc crc;
    crc.Feed(block0.data(), block0.size());
    crc.Feed(block1.data(), block1.size());
    EXPECT_EQ(crc.Value(), link.GetDataCrc());

    // The serial link would take 0x41; USB takes only ACK.
    replies = {{0x41}};
    EXPECT_EQ(0, link.SendSectorData(kCmdDownloadData, 2, 0, 32768, 16384, blocks, nullptr));
}

TEST_F(UsbLinkTest, LineCheckWithAckAloneTimesOutAfterThreeToFourSeconds) {
    replies = {{ACK}};  // the second byte never comes
    EXPECT_EQ(0, link.CheckLine(kCmdCheckLine, 2));
    ASSERT_EQ((std::vector<WPARAM>{2}), ListenCounts());
    const int64_t waited = NowMs() - listens[0].atMs;
    EXPECT_GE(waited, 3000);
    EXPECT_LE(waited, 4000);
    EXPECT_EQ(1, wnd.killCalls());
    EXPECT_EQ((std::vector<Bytes>{{0x1D, 0x01}}), WriteCalls());
}

TEST_F(UsbLinkTest, LineCheckJudgesTheFirstOfTwoBytes) {
    replies = {{ACK, 0x00}, {NAK, 0x00}};
    EXPECT_EQ(1, link.CheckLine(kCmdCheckLine, 2));
    EXPECT_EQ(0, link.CheckLine(kCmdCheckLine, 2));
}

TEST_F(UsbLinkTest, ChecksumPausesTenSecondsThenListensForStatusAndValue) {
    replies = {{ACK}, {0x34, 0x12}};
    const int64_t start = NowMs();
    uint16_t value = 0;
    EXPECT_EQ(1, link.QueryChecksum(kCmdQueryChecksum, 2, &value));
    EXPECT_EQ(0x1234, value);
    EXPECT_EQ((std::vector<Bytes>{{0x1D, 0x06}}), WriteCalls());
    ASSERT_EQ((std::vector<WPARAM>{1, 2}), ListenCounts());
    EXPECT_EQ(start + 10000, listens[0].atMs);
    EXPECT_EQ(start + 10000, listens[1].atMs);
    EXPECT_EQ(2, wnd.killCalls());
}

TEST_F(UsbLinkTest, ChecksumStatusMustBeAck) {
    uint16_t value = 0x5555;
    replies = {{0x41}, {0x34, 0x12}};
    EXPECT_EQ(0, link.QueryChecksum(kCmdQueryChecksum, 2, &value));
    EXPECT_EQ(1u, listens.size());
    EXPECT_EQ(0x5555, value);
}

TEST_F(UsbLinkTest, ChecksumTimeOutsAreFiftySecondsEach) {
    uint16_t value = 0;
    const int64_t start = NowMs();
    EXPECT_EQ(0, link.QueryChecksum(kCmdQueryChecksum, 2, &value));
    EXPECT_GE(NowMs() - start, 10000 + 50000);
    EXPECT_LE(NowMs() - start, 10000 + 51000);
    EXPECT_EQ(1, wnd.killCalls());

    listens.clear();
    replies = {{ACK}};  // the value never comes
    const int64_t second = NowMs();
    EXPECT_EQ(0, link.QueryChecksum(kCmdQueryChecksum, 2, &value));
    ASSERT_EQ(2u, listens.size());
    EXPECT_GE(NowMs() - listens[1].atMs, 50000);
    EXPECT_LE(NowMs() - listens[1].atMs, 51000);
    EXPECT_EQ(second + 10000, listens[1].atMs);
}

TEST_F(UsbLinkTest, RecalculateCrcPausesFiftySecondsAndWaitsEightyEach) {
    replies = {{ACK}, {0x02, 0x01}};
    const int64_t start = NowMs();
    uint16_t value = 0;
    EXPECT_EQ(1, link.RecalculateCrc(kCmdRecalculateCrc, 2, &value));
    EXPECT_EQ(0x0102, value);
    EXPECT_EQ((std::vector<Bytes>{{0x1D, 0x0F}}), WriteCalls());
    ASSERT_EQ((std::vector<WPARAM>{1, 2}), ListenCounts());
    EXPECT_EQ(start + 50000, listens[0].atMs);

    listens.clear();
    replies = {{ACK}};
    EXPECT_EQ(0, link.RecalculateCrc(kCmdRecalculateCrc, 2, &value));
    ASSERT_EQ(2u, listens.size());
    EXPECT_GE(NowMs() - listens[1].atMs, 80000);
    EXPECT_LE(NowMs() - listens[1].atMs, 81000);
}

TEST_F(UsbLinkTest, IdentityListensForStatusThenFourteenBytes) {
    replies = {{ACK}, kMobilePrinter};
    EXPECT_EQ(1, link.CheckIdentity(kCmdIdentity, 2));
    EXPECT_EQ((std::vector<Bytes>{{0x1D, 0x00}}), WriteCalls());
    EXPECT_EQ((std::vector<WPARAM>{1, 14}), ListenCounts());

    replies = {{ACK}, Text("Mobile Printex")};
    EXPECT_EQ(2, link.CheckIdentity(kCmdIdentity, 2));

    listens.clear();
    replies = {{NAK}, kMobilePrinter};
    EXPECT_EQ(0, link.CheckIdentity(kCmdIdentity, 2));
    EXPECT_EQ((std::vector<WPARAM>{1}), ListenCounts());
}

TEST_F(UsbLinkTest, IdentityTextThatNeverComesIsZero) {
    replies = {{ACK}};
    EXPECT_EQ(0, link.CheckIdentity(kCmdIdentity, 2));
    ASSERT_EQ(2u, listens.size());
    EXPECT_GE(NowMs() - listens[1].atMs, 3000);
    EXPECT_LE(NowMs() - listens[1].atMs, 4000);
    EXPECT_EQ(2, wnd.killCalls());
}

TEST_F(UsbLinkTest, FailedWriteListensForNothing) {
    usb.ScriptWriteResults({UsbWriteStatus::Error});
    EXPECT_EQ(0, link.CheckLine(kCmdCheckLine, 2));
    EXPECT_TRUE(listens.empty());
    EXPECT_EQ(0, wnd.killCalls());
}

TEST_F(UsbLinkTest, WithoutNotifyWindowAnsweredCommandsFailUnsent) {
    CPrinterLink bare;
    Bytes block(8192, 1);
    uint8_t* blocks[4] = {block.data(), nullptr, nullptr, nullptr};
    uint16_t value = 0;
    EXPECT_EQ(0, bare.CheckLine(kCmdCheckLine, 2));
    EXPECT_EQ(0, bare.CheckIdentity(kCmdIdentity, 2));
    EXPECT_EQ(0, bare.SelectSector(kCmdSelectSector, 2, 1));
    EXPECT_EQ(0, bare.SendSectorData(kCmdDownloadData, 2, 0, 8192, 8192, blocks, nullptr));
    EXPECT_EQ(0, bare.QueryChecksum(kCmdQueryChecksum, 2, &value));
    EXPECT_EQ(0, bare.RecalculateCrc(kCmdRecalculateCrc, 2, &value));
    EXPECT_TRUE(usb.Writes().empty());
    // Plain sends need no answer path.
    EXPECT_EQ(1, bare.SendRaw(kCmdReset, 2));
}

// A reply event whose waits end early without it being set, as a scaled
// clock's may: the link must keep waiting until its deadline has passed,
// blocking each time rather than spinning.
class EarlyWakingWindow : public RecordingNotifyWindow {
public:
    bool WaitReceivedUSB(int64_t timeoutMs) override {
        timeouts.push_back(timeoutMs);
        if (received.IsSet()) return true;
        SleepMs(timeoutMs < 700 ? timeoutMs : 700);
        return false;
    }
    std::vector<int64_t> timeouts;
};

TEST_F(UsbLinkTest, EarlyWakeUpsKeepWaitingUntilTheDeadline) {
    EarlyWakingWindow early;
    link.SetNotifyWindow(&early);
    int64_t listenAt = -1;
    early.onSend = [&](UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_START_RECV_USB) listenAt = NowMs();
        return 1;
    };
    EXPECT_EQ(0, link.CheckLine(kCmdCheckLine, 2));
    ASSERT_GE(listenAt, 0);
    EXPECT_GE(NowMs() - listenAt, 3000);
    EXPECT_LE(NowMs() - listenAt, 4000);
    EXPECT_GE(early.timeouts.size(), 5u);
    EXPECT_LE(early.timeouts.size(), 7u);
    for (int64_t t : early.timeouts) EXPECT_GT(t, 0);
    EXPECT_EQ(1, early.killCalls());
}

}  // namespace
}  // namespace rtq::test
