#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/clock.h"
#include "ports/comm_port.h"
#include "ports/serial_backend.h"
#include "sim/sim_printer.h"
#include "tests/sim/frames.h"
#include "tests/support/sim_serial_backend.h"

namespace rtq::test {
namespace {

using namespace rtq::sim::test;
using rtq::sim::CommandKind;
using rtq::sim::FaultRule;
using rtq::sim::SimPrinter;

bool WriteAll(SimSerialBackend& b, HANDLE h, const Bytes& bytes, size_t* written) {
    return b.Write(h, bytes.data(), bytes.size(), written);
}

Bytes ReadSome(SimSerialBackend& b, HANDLE h, size_t max = 64) {
    Bytes buf(max);
    size_t got = 0;
    EXPECT_TRUE(b.Read(h, buf.data(), buf.size(), &got));
    buf.resize(got);
    return buf;
}

COMMTIMEOUTS ReadConstant(uint32_t ms) {
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = MAXDWORD;
    t.ReadTotalTimeoutConstant = ms;
    t.WriteTotalTimeoutMultiplier = 250;
    t.WriteTotalTimeoutConstant = 1000;
    return t;
}

class SimSerialBackendTest : public ::testing::Test {
protected:
    rtq::VirtualClock clock;
    rtq::ScopedClock scoped{clock};
    SimPrinter printer;
    SimSerialBackend backend{"COM17", printer};
};

TEST_F(SimSerialBackendTest, OpensExclusivelyByNameWithOrWithoutDevicePrefix) {
    EXPECT_EQ(backend.Open("COM18"), INVALID_HANDLE_VALUE);
    const HANDLE h = backend.Open("\\\\.\\COM17");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_NE(h, 0);
    EXPECT_TRUE(backend.IsOpen("COM17"));
    EXPECT_EQ(backend.Open("COM17"), INVALID_HANDLE_VALUE) << "port in use";
    backend.Close(h);
    EXPECT_FALSE(backend.IsOpen("COM17"));
    size_t written = 0;
    EXPECT_FALSE(WriteAll(backend, h, LineFrame(), &written)) << "closed handle";
    DCB dcb;
    EXPECT_FALSE(backend.GetState(h, &dcb));
    const HANDLE again = backend.Open("COM17");
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    EXPECT_NE(again, h) << "a stale handle must not reach the new open";
    backend.Close(0);
    backend.Close(INVALID_HANDLE_VALUE);
    EXPECT_TRUE(backend.IsOpen("COM17"));
    EXPECT_EQ(backend.OpenCount(), 2);
    EXPECT_EQ(backend.CloseCount(), 1);

    backend.SetOpenFails(true);
    backend.Close(again);
    EXPECT_EQ(backend.Open("COM17"), INVALID_HANDLE_VALUE);
}

TEST_F(SimSerialBackendTest, WritesReachThePrinterAndAreRecordedPerCall) {
    const HANDLE h = backend.Open("COM17");
    size_t written = 0;
    ASSERT_TRUE(WriteAll(backend, h, SwitchFrame(), &written));
    EXPECT_EQ(written, 3u);
    WriteAll(backend, h, Bytes{0x1D, 0x10}, &written);
    WriteAll(backend, h, Bytes{0x06}, &written);
    const auto writes = backend.Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[1].bytes, (Bytes{0x1D, 0x10}));
    EXPECT_EQ(writes[2].device, "COM17");
    EXPECT_EQ(backend.WrittenBytes(), Cat({SwitchFrame(), EraseFrame(6)}));
    EXPECT_EQ(ReadSome(backend, h), Bytes{0x06});
    EXPECT_EQ(printer.ErasedSectors(), std::vector<int>{6});
}

TEST_F(SimSerialBackendTest, EmptyReadWaitsTheReadConstantOrASlowAnswer) {
    const HANDLE h = backend.Open("COM17");
    ASSERT_TRUE(backend.SetTimeouts(h, ReadConstant(1500)));
    clock.ResetSlept();
    EXPECT_TRUE(ReadSome(backend, h).empty());
    EXPECT_EQ(clock.SleptMs(), 1500);

    size_t written = 0;
    printer.AddFault(FaultRule::Delay(CommandKind::LineCheck, 1, 400));
    WriteAll(backend, h, Cat({SwitchFrame(), LineFrame()}), &written);
    clock.ResetSlept();
    EXPECT_EQ(ReadSome(backend, h), (Bytes{0x06, 0x00}));
    EXPECT_EQ(clock.SleptMs(), 400) << "waited past the answer's release";

    printer.AddFault(FaultRule::Delay(CommandKind::LineCheck, 2, 4000));
    WriteAll(backend, h, LineFrame(), &written);
    clock.ResetSlept();
    EXPECT_TRUE(ReadSome(backend, h).empty());
    EXPECT_EQ(clock.SleptMs(), 1500);
    EXPECT_TRUE(ReadSome(backend, h).empty());
    EXPECT_EQ(ReadSome(backend, h, 1), Bytes{0x06}) << "released after 4000 ms";
    EXPECT_EQ(ReadSome(backend, h, 1), Bytes{0x00});

    // A zero read constant still moves a virtual clock on.
    backend.SetTimeouts(h, ReadConstant(0));
    clock.ResetSlept();
    EXPECT_TRUE(ReadSome(backend, h).empty());
    EXPECT_GE(clock.SleptMs(), 1);
}

TEST_F(SimSerialBackendTest, PurgeDropsArrivedAnswers) {
    const HANDLE h = backend.Open("COM17");
    backend.SetTimeouts(h, ReadConstant(100));
    size_t written = 0;
    WriteAll(backend, h, Cat({SwitchFrame(), LineFrame()}), &written);
    ASSERT_TRUE(backend.PurgeInput(h));
    EXPECT_TRUE(ReadSome(backend, h).empty());
    EXPECT_EQ(backend.PurgeCount(), 1);

    // Answers sent while the port was closed are gone after the reopen.
    WriteAll(backend, h, LineFrame(), &written);
    backend.Close(h);
    const HANDLE h2 = backend.Open("COM17");
    backend.SetTimeouts(h2, ReadConstant(100));
    EXPECT_TRUE(ReadSome(backend, h2).empty());
}

TEST_F(SimSerialBackendTest, DsrLowWritesNothingAfterTheWriteTimeout) {
    const HANDLE h = backend.Open("COM17");
    backend.SetTimeouts(h, ReadConstant(100));  // write: 250 per byte + 1000
    printer.SetDsrLow(true);
    size_t written = 99;
    clock.ResetSlept();
    ASSERT_TRUE(WriteAll(backend, h, SwitchFrame(), &written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(clock.SleptMs(), 3 * 250 + 1000);
    EXPECT_EQ(printer.Mode(), rtq::sim::SimMode::Normal);
    ASSERT_EQ(backend.Writes().size(), 1u);
    EXPECT_EQ(backend.Writes()[0].requested, 3u);
    EXPECT_TRUE(backend.Writes()[0].bytes.empty());
    printer.SetDsrLow(false);
    WriteAll(backend, h, SwitchFrame(), &written);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(printer.Mode(), rtq::sim::SimMode::Download);
}

TEST_F(SimSerialBackendTest, LineSettingsReachThePrinterLog) {
    const HANDLE h = backend.Open("COM17");
    DCB dcb;
    ASSERT_TRUE(backend.GetState(h, &dcb));
    dcb.BaudRate = 9600;
    ASSERT_TRUE(backend.SetState(h, dcb));
    size_t written = 0;
    WriteAll(backend, h, SwitchFrame(), &written);
    backend.Close(h);
    const HANDLE h2 = backend.Open("COM17");
    ASSERT_TRUE(backend.GetState(h2, &dcb));
    EXPECT_EQ(dcb.BaudRate, 9600u) << "settings survive a reopen";
    dcb.BaudRate = 38400;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    backend.SetState(h2, dcb);
    WriteAll(backend, h2, LineFrame(), &written);

    const auto states = backend.States();
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[1].dcb.BaudRate, 38400u);
    const auto cmds = printer.Commands();
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].line.baud, 9600u);
    EXPECT_EQ(cmds[1].line.baud, 38400u);
    EXPECT_EQ(cmds[1].line.parity, 'E');
    EXPECT_EQ(cmds[1].line.stopBits, 2);
}

TEST_F(SimSerialBackendTest, FailuresOnRequest) {
    const HANDLE h = backend.Open("COM17");
    size_t written = 0;
    backend.SetWriteFails(true);
    EXPECT_FALSE(WriteAll(backend, h, SwitchFrame(), &written));
    EXPECT_EQ(printer.Mode(), rtq::sim::SimMode::Normal);
    backend.SetWriteFails(false);
    backend.SetReadFails(true);
    Bytes buf(4);
    size_t got = 0;
    EXPECT_FALSE(backend.Read(h, buf.data(), buf.size(), &got));
}

TEST_F(SimSerialBackendTest, ServesSeveralPrintersApart) {
    SimPrinter second;
    backend.AddDevice("/dev/ttyUSB1", second);
    const HANDLE a = backend.Open("COM17");
    const HANDLE b = backend.Open("/dev/ttyUSB1");
    ASSERT_NE(b, INVALID_HANDLE_VALUE);
    size_t written = 0;
    WriteAll(backend, b, SwitchFrame(), &written);
    EXPECT_EQ(second.Mode(), rtq::sim::SimMode::Download);
    EXPECT_EQ(printer.Mode(), rtq::sim::SimMode::Normal);
    backend.SetTimeouts(a, ReadConstant(10));
    WriteAll(backend, b, LineFrame(), &written);
    EXPECT_TRUE(ReadSome(backend, a).empty());
    EXPECT_EQ(ReadSome(backend, b).size(), 2u);
}

TEST_F(SimSerialBackendTest, InstalledBackendServesThePortObject) {
    rtq::ISerialBackend* before = &rtq::SerialBackend();
    {
        ScopedSimSerialBackend installed(backend);
        EXPECT_EQ(&rtq::SerialBackend(), &backend);
        CCommPort port;
        ASSERT_EQ(port.Open("\\\\.\\COM17"), 1);
        ASSERT_EQ(port.SetReadTimeout(1500), 1);
        const Bytes frames = Cat({SwitchFrame(), LineFrame()});
        ASSERT_EQ(port.Write(frames.data(), static_cast<int>(frames.size())), 1);
        uint8_t b = 0;
        ASSERT_EQ(port.ReadByte(&b), 1);
        EXPECT_EQ(b, 0x06);
        ASSERT_EQ(port.ReadByte(&b), 1);
        // A silent printer: the port gives up after its 10 s deadline.
        const int64_t start = clock.NowMs();
        EXPECT_EQ(port.ReadByte(&b), 0);
        EXPECT_GE(clock.NowMs() - start, 10000);
        EXPECT_LE(clock.NowMs() - start, 12500);
        port.Close();
    }
    EXPECT_EQ(&rtq::SerialBackend(), before);
}

// A read blocked on a real (scaled) clock wakes up when another thread
// writes, instead of sleeping out its read constant.
TEST(SimSerialBackendThreads, BlockedReadWakesOnAWriteFromAnotherThread) {
    rtq::ScaledClock scaled(100);
    rtq::ScopedClock scopedClock(scaled);
    SimPrinter printer;
    SimSerialBackend backend("COM1", printer);
    const HANDLE h = backend.Open("COM1");
    backend.SetTimeouts(h, ReadConstant(60000));  // 600 ms of real time
    size_t written = 0;
    WriteAll(backend, h, SwitchFrame(), &written);

    std::atomic<bool> reading{false};
    std::thread writer([&] {
        while (!reading) std::this_thread::yield();
        size_t w = 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        WriteAll(backend, h, LineFrame(), &w);
    });
    const int64_t start = rtq::NowMs();
    reading = true;
    const Bytes got = ReadSome(backend, h);
    const int64_t waited = rtq::NowMs() - start;
    writer.join();
    EXPECT_EQ(got, (Bytes{0x06, 0x00}));
    EXPECT_LT(waited, 60000);
}

}  // namespace
}  // namespace rtq::test
