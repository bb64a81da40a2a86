#pragma once
// Fixtures for the printer link: a serial link on the fake serial backend
// and a USB link on the fake USB backend with a scripted receive side, both
// on a virtual clock.

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "protocol/frames.h"
#include "protocol/printer_link.h"
#include "tests/support/fake_serial_backend.h"
#include "tests/support/fake_usb_backend.h"
#include "tests/support/recording_notify_window.h"

namespace rtq::test {

using Bytes = std::vector<uint8_t>;

inline Bytes Text(const char* s) { return Bytes(s, s + std::strlen(s)); }

inline Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

template <size_t N>
Bytes Of(const uint8_t (&prefix)[N]) {
    return Bytes(prefix, prefix + N);
}

class SerialLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_bUsbLink = 0;
        g_bCancelled = 0;
        ASSERT_EQ(1, link.Open("COM1"));
        ASSERT_EQ(1, link.SetReadTimeout(1000));
        serial.ClearWrites();
        clock.ResetSlept();
    }
    void TearDown() override {
        link.Close();
        g_bCancelled = 0;
    }

    // The bytes of each write call, in order.
    std::vector<Bytes> WriteCalls() const {
        std::vector<Bytes> calls;
        for (const auto& w : serial.Writes()) calls.push_back(w.bytes);
        return calls;
    }

    // Answers once the n-th write call from now (1-based) has gone out.
    void AnswerAfterWrite(int n, const Bytes& answer) {
        auto count = std::make_shared<int>(0);
        serial.SetWriteHook([this, n, answer, count](const Bytes&) {
            if (++*count == n) serial.PushInput(answer);
        });
    }

    VirtualClock clock;
    ScopedClock scopedClock{clock};
    FakeSerialBackend serial;
    ScopedSerialBackend scopedSerial{serial};
    CPrinterLink link;
};

// The receive side of the main dialog: every WM_START_RECV_USB takes the
// next scripted reply, stores it from receivedBuffer[0] and signals the
// reply event once it holds all N bytes asked for. A missing reply leaves
// the event clear (a silent printer).
class UsbLinkTest : public ::testing::Test {
protected:
    struct Listen {
        WPARAM count;
        int64_t atMs;
    };

    void SetUp() override {
        g_bUsbLink = 1;
        g_bCancelled = 0;
        g_hUsbDevice = usb.Open(FakeUsbBackend::kDefaultPath);
        ASSERT_NE(INVALID_HANDLE_VALUE, g_hUsbDevice.load());
        wnd.onSend = [this](UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
            if (msg != WM_START_RECV_USB) return 1;
            listens.push_back({wParam, NowMs()});
            if (replies.empty()) return 1;
            const Bytes reply = replies.front();
            replies.pop_front();
            std::memcpy(receivedBuffer, reply.data(), reply.size());
            if (reply.size() >= wParam) wnd.SignalReceivedUSB();
            return 1;
        };
        link.SetNotifyWindow(&wnd);
        clock.ResetSlept();
    }
    void TearDown() override {
        usb.Close(g_hUsbDevice);
        g_hUsbDevice = INVALID_HANDLE_VALUE;
        g_bUsbLink = 0;
    }

    std::vector<Bytes> WriteCalls() const {
        std::vector<Bytes> calls;
        for (const auto& w : usb.Writes()) calls.push_back(w.bytes);
        return calls;
    }

    std::vector<WPARAM> ListenCounts() const {
        std::vector<WPARAM> counts;
        for (const Listen& l : listens) counts.push_back(l.count);
        return counts;
    }

    VirtualClock clock;
    ScopedClock scopedClock{clock};
    FakeUsbBackend usb;
    ScopedUsbBackend scopedUsb{usb};
    RecordingNotifyWindow wnd;
    CPrinterLink link;
    std::deque<Bytes> replies;
    std::vector<Listen> listens;
};

}  // namespace rtq::test
