// The fuzz harness's own model of a printer and its timing: a wrong model
// would report faults the system does not have, or hide those it has.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/fuzz_serial_backend.h"
#include "tests/fuzz/fuzz_usb_backend.h"
#include "tests/fuzz/inline_notify_window.h"
#include "tests/fuzz/scripted_printer.h"

namespace {

using rtq::fuzz::FuzzInput;
using rtq::fuzz::ScriptedPrinter;

const std::vector<uint8_t> kLineCheck{0x1D, 0x01};
const std::vector<uint8_t> kIdentity{0x1D, 0x00};

TEST(FuzzHarness, InputReadsZeroOnceUsedUp) {
    const uint8_t data[] = {7, 1, 0, 0, 0, 3, 'x', 'y', 'z', 'w'};
    FuzzInput in(data, sizeof data);
    EXPECT_EQ(in.Byte(), 7);
    EXPECT_EQ(in.Range(10, 20), 11);                        // four bytes, low first
    EXPECT_EQ(in.Bytes(2), (std::vector<uint8_t>{'x', 'y'}));  // 3 asked, 2 allowed
    EXPECT_EQ(in.Bytes(8), (std::vector<uint8_t>{'w'}));       // 'z' asked, 1 left
    EXPECT_EQ(in.Byte(), 0);
    EXPECT_EQ(in.Range(-5, 5), -5);
}

TEST(FuzzHarness, AnswersArriveWhenTheFuzzerSaysAndGoToTheirCommand) {
    rtq::VirtualClock clock;
    rtq::ScopedClock scoped(clock);
    // Line check: right answer 1500 ms late. Identity: silence.
    const uint8_t data[] = {0x08, 0xDC, 0x05, 0x07};
    FuzzInput in(data, sizeof data);
    ScriptedPrinter printer(in);
    const int64_t start = rtq::NowMs();

    printer.HostWrote(kLineCheck.data(), 1);  // half a frame: no answer yet
    EXPECT_EQ(printer.NextArrivalMs(), -1);
    printer.HostWrote(kLineCheck.data() + 1, 1);
    EXPECT_EQ(printer.NextArrivalMs(), start + 1500);
    clock.Advance(1499);
    EXPECT_EQ(printer.Arrived(), 0u);
    clock.Advance(1);
    printer.HostWrote(kIdentity.data(), kIdentity.size());
    EXPECT_EQ(printer.Arrived(), 2u);

    uint8_t buf[4] = {};
    EXPECT_EQ(printer.Take(buf, 1), 1u);
    ASSERT_EQ(printer.Commands().size(), 2u);
    // Taken after the identity command was sent, so it counts as its answer.
    EXPECT_EQ(printer.Commands()[1].taken, std::vector<uint8_t>{0x06});
    printer.DropArrived();
    EXPECT_EQ(printer.Arrived(), 0u);
}

TEST(FuzzHarness, SerialReadWaitsForTheAnswerOrTheReadConstant) {
    rtq::VirtualClock clock;
    rtq::ScopedClock scoped(clock);
    const uint8_t data[] = {0x08, 0xE8, 0x03};  // right answer 1000 ms late
    FuzzInput in(data, sizeof data);
    ScriptedPrinter printer(in);
    rtq::fuzz::FuzzSerialBackend backend(printer, rtq::fuzz::SerialFaults{});
    const HANDLE h = backend.Open("/dev/ttyS0");
    COMMTIMEOUTS t;
    t.ReadTotalTimeoutConstant = 400;
    ASSERT_TRUE(backend.SetTimeouts(h, t));
    size_t written = 0;
    ASSERT_TRUE(backend.Write(h, kLineCheck.data(), kLineCheck.size(), &written));

    uint8_t b = 0;
    size_t got = 0;
    const int64_t start = rtq::NowMs();
    ASSERT_TRUE(backend.Read(h, &b, 1, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(rtq::NowMs() - start, 400);
    t.ReadTotalTimeoutConstant = 5000;
    ASSERT_TRUE(backend.SetTimeouts(h, t));
    ASSERT_TRUE(backend.Read(h, &b, 1, &got));
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(rtq::NowMs() - start, 1000);
}

TEST(FuzzHarness, InlineReceivePathCollectsPiecesWithinTheWaitOnly) {
    rtq::VirtualClock clock;
    rtq::ScopedClock scoped(clock);
    // Line check: right answer in two pieces of one byte, 200 ms apart.
    // Identity: right answer 5000 ms late.
    const uint8_t data[] = {0x10, 0, 10, 0, 10, 0x08, 0x88, 0x13};
    FuzzInput in(data, sizeof data);
    ScriptedPrinter printer(in);
    rtq::fuzz::FuzzUsbBackend backend(printer, rtq::fuzz::UsbFaults{});
    rtq::SetUsbBackend(&backend);
    g_hUsbDevice = backend.Open("/dev/usb/lp0");
    rtq::fuzz::InlineNotifyWindow window;
    size_t written = 0;

    backend.Write(g_hUsbDevice, kLineCheck.data(), kLineCheck.size(), &written);
    window.ResetReceivedUSB();
    window.SendMessage(WM_START_RECV_USB, 2, 0);
    int64_t start = rtq::NowMs();
    EXPECT_TRUE(window.WaitReceivedUSB(3000));
    EXPECT_EQ(rtq::NowMs() - start, 400);
    EXPECT_EQ(receivedBuffer[0], 0x06);

    backend.Write(g_hUsbDevice, kIdentity.data(), kIdentity.size(), &written);
    window.ResetReceivedUSB();
    window.SendMessage(WM_START_RECV_USB, 1, 0);
    start = rtq::NowMs();
    EXPECT_FALSE(window.WaitReceivedUSB(3000));
    EXPECT_EQ(rtq::NowMs() - start, 3000);  // the whole wait, not less
    window.KillReceiveUSBThread();
    clock.Advance(5000);
    EXPECT_FALSE(window.WaitReceivedUSB(1000));  // killed: reads no more
    EXPECT_EQ(printer.Arrived(), 15u);

    backend.Close(g_hUsbDevice);
    g_hUsbDevice = INVALID_HANDLE_VALUE;
    rtq::SetUsbBackend(nullptr);
}

}  // namespace
