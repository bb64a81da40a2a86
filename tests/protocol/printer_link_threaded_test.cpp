#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "protocol/frames.h"
#include "protocol/printer_link.h"
#include "tests/support/fake_usb_backend.h"
#include "tests/support/recording_notify_window.h"

namespace rtq::test {
namespace {

// The answer arrives from another thread while the link is blocked in its
// wait: the link must wake when the event is set, not at the deadline.
class UsbLinkThreadedTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_bUsbLink = 1;
        g_hUsbDevice = usb.Open(FakeUsbBackend::kDefaultPath);
        link.SetNotifyWindow(&wnd);
    }
    void TearDown() override {
        if (receiver.joinable()) receiver.join();
        usb.Close(g_hUsbDevice);
        g_hUsbDevice = INVALID_HANDLE_VALUE;
        g_bUsbLink = 0;
    }

    // On WM_START_RECV_USB, a receiver thread stores the reply after
    // delayMs of scaled time and sets the reply event.
    void ReplyLater(std::vector<uint8_t> reply, int64_t delayMs) {
        wnd.onSend = [this, reply, delayMs](UINT msg, WPARAM, LPARAM) -> LRESULT {
            if (msg != WM_START_RECV_USB) return 1;
            if (receiver.joinable()) receiver.join();
            receiver = std::thread([this, reply, delayMs] {
                SleepMs(delayMs);
                if (killed.load()) return;
                std::memcpy(receivedBuffer, reply.data(), reply.size());
                wnd.SignalReceivedUSB();
            });
            return 1;
        };
        wnd.onKill = [this] { killed = true; };
    }

    ScaledClock clock{20};
    ScopedClock scopedClock{clock};
    FakeUsbBackend usb;
    ScopedUsbBackend scopedUsb{usb};
    RecordingNotifyWindow wnd;
    CPrinterLink link;
    std::thread receiver;
    std::atomic<bool> killed{false};
};

TEST_F(UsbLinkThreadedTest, WakesWhenTheAnswerArrives) {
    ReplyLater({ACK}, 2000);
    const int64_t start = NowMs();
    EXPECT_EQ(1, link.SelectSector(kCmdSelectSector, 2, 7));
    const int64_t waited = NowMs() - start;
    EXPECT_GE(waited, 2000);
    EXPECT_LT(waited, 10000);  // far before the 30 s deadline
    EXPECT_EQ(1, wnd.killCalls());
}

TEST_F(UsbLinkThreadedTest, GivesUpWhenTheAnswerComesTooLate) {
    ReplyLater({ACK, 0x00}, 8000);
    const int64_t start = NowMs();
    EXPECT_EQ(0, link.CheckLine(kCmdCheckLine, 2));
    const int64_t waited = NowMs() - start;
    EXPECT_GE(waited, 3000);
    EXPECT_LT(waited, 7000);
    EXPECT_EQ(1, wnd.killCalls());
}

}  // namespace
}  // namespace rtq::test
