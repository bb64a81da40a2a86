#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "tests/support/fake_usb_backend.h"
#include "tests/workers/worker_fixtures.h"
#include "workers/receive_usb_thread.h"

namespace {

using rtq::test::FakeUsbBackend;
using rtq::test::WaitUntil;

constexpr uint8_t kUntouched = 0xEE;

// Also records how many bytes each read asked for.
class LengthRecordingUsb : public FakeUsbBackend {
public:
    bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) override {
        {
            std::lock_guard<std::mutex> lk(mutex);
            lengths.push_back(len);
        }
        return FakeUsbBackend::Read(h, buf, len, got);
    }
    std::mutex mutex;
    std::vector<size_t> lengths;
};

class ReceiveUsbThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::memset(receivedBuffer, kUntouched, sizeof receivedBuffer);
        g_hUsbDevice = usb.Open(FakeUsbBackend::kDefaultPath);
    }
    void TearDown() override { g_hUsbDevice = INVALID_HANDLE_VALUE; }

    bool BufferUntouched() const {
        for (uint8_t b : receivedBuffer)
            if (b != kUntouched) return false;
        return true;
    }
    size_t Ended() { return owner.Of(WM_RECV_USB_ENDED).size(); }

    rtq::ScaledClock clock{20};
    rtq::ScopedClock useClock{clock};
    LengthRecordingUsb usb;
    rtq::test::ScopedUsbBackend useUsb{usb};
    rtq::test::CountingWindow owner;
};

TEST_F(ReceiveUsbThreadTest, ReplyInPiecesIsAssembledInOrderAndSignalledOnce) {
    auto thread = std::make_unique<CReceiveUSBThread>(5, &owner);
    usb.PushInput({0x06, 0x41});
    ASSERT_TRUE(WaitUntil([&] { return usb.PendingInput() == 0; }));
    rtq::SleepMs(200);
    EXPECT_EQ(owner.signals, 0);  // not before the last byte

    // One byte more than expected: only the missing ones are asked for.
    usb.PushInput({0x42, 0x43, 0x44, 0x99});
    ASSERT_TRUE(owner.received.Wait(20'000));
    ASSERT_TRUE(WaitUntil([&] { return Ended() == 1; }));
    EXPECT_EQ(std::vector<uint8_t>(receivedBuffer, receivedBuffer + 6),
              (std::vector<uint8_t>{0x06, 0x41, 0x42, 0x43, 0x44, kUntouched}));
    EXPECT_EQ(usb.PendingInput(), 1u);
    EXPECT_EQ(usb.lengths, (std::vector<size_t>{5, 3}));
    EXPECT_EQ(owner.signals, 1);

    // The ended-message names its thread, and the quit does not repeat it.
    const LPARAM number = thread->Number();
    thread.reset();
    ASSERT_EQ(Ended(), 1u);
    EXPECT_TRUE(owner.Of(WM_RECV_USB_ENDED)[0].posted);
    EXPECT_EQ(owner.Of(WM_RECV_USB_ENDED)[0].lParam, number);
    EXPECT_EQ(usb.MaxConcurrentReads(), 1);
}

TEST_F(ReceiveUsbThreadTest, KillEndsAPendingReadQuicklyAndLeavesTheReply) {
    rtq::ScaledClock realTime(1);  // the latency itself is measured
    rtq::ScopedClock useRealTime(realTime);
    auto thread = std::make_unique<CReceiveUSBThread>(3, &owner);
    ASSERT_TRUE(WaitUntil([&] { return usb.WaitCalls() >= 2; }));
    const int64_t killedAt = rtq::NowMs();
    thread->Kill();
    ASSERT_TRUE(WaitUntil([&] { return Ended() == 1; }, 5'000));
    EXPECT_LE(owner.Of(WM_RECV_USB_ENDED)[0].atMs - killedAt, 150);

    // A reply arriving after the kill stays for the next thread.
    usb.PushInput({0x06, 0x01, 0x02});
    rtq::SleepMs(150);
    EXPECT_EQ(usb.ReadCalls(), 0);
    EXPECT_EQ(usb.PendingInput(), 3u);
    EXPECT_TRUE(BufferUntouched());
    EXPECT_EQ(owner.signals, 0);
}

TEST_F(ReceiveUsbThreadTest, WaitsWithoutThePortMutexAndReadsUnderIt) {
    std::unique_lock<std::mutex> writer(g_portMutex);  // a write call in progress
    auto thread = std::make_unique<CReceiveUSBThread>(2, &owner);
    ASSERT_TRUE(WaitUntil([&] { return usb.WaitCalls() >= 3; }));
    usb.PushInput({0x06, 0x07});
    rtq::SleepMs(300);
    EXPECT_EQ(usb.ReadCalls(), 0);
    writer.unlock();
    ASSERT_TRUE(owner.received.Wait(20'000));
    EXPECT_EQ(receivedBuffer[1], 0x07);
}

TEST_F(ReceiveUsbThreadTest, ReadErrorOrDeletionEndsWithoutSignalling) {
    auto failing = std::make_unique<CReceiveUSBThread>(4, &owner);
    usb.SetReadError(true);
    ASSERT_TRUE(WaitUntil([&] { return Ended() == 1; }));
    failing.reset();

    // Deleted while bytes are still missing and nobody killed it.
    auto waiting = std::make_unique<CReceiveUSBThread>(10, &owner);
    usb.PushInput({0x06});
    ASSERT_TRUE(WaitUntil([&] { return usb.PendingInput() == 0; }));
    waiting.reset();  // must not hang
    EXPECT_EQ(Ended(), 2u);
    EXPECT_EQ(owner.signals, 0);
    EXPECT_EQ(receivedBuffer[0], 0x06);
    EXPECT_EQ(receivedBuffer[1], kUntouched);
}

TEST_F(ReceiveUsbThreadTest, CountsOutsideTheBufferAreRefusedWithoutReading) {
    usb.PushInput(std::vector<uint8_t>(kReceivedBufferSize + 1, 0x06));
    for (int count : {0, kReceivedBufferSize + 1}) {
        auto thread = std::make_unique<CReceiveUSBThread>(count, &owner);
        ASSERT_TRUE(WaitUntil([&] { return thread->HasStarted() && Ended() > 0; }));
        owner.Clear();
    }
    EXPECT_EQ(usb.ReadCalls(), 0);
    EXPECT_TRUE(BufferUntouched());

    auto full = std::make_unique<CReceiveUSBThread>(kReceivedBufferSize, &owner);
    ASSERT_TRUE(owner.received.Wait(20'000));
    EXPECT_EQ(usb.PendingInput(), 1u);
    EXPECT_EQ(owner.signals, 1);
}

}  // namespace
