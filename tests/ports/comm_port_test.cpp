#include <gtest/gtest.h>

#include <string>

#include "tests/ports/port_fixture.h"

namespace rtq::test {
namespace {

using ReadByteTest = PortTest;

TEST_F(ReadByteTest, WaitingByteIsReturnedAtOnce) {
    OpenPort();
    ASSERT_EQ(port.SetReadTimeout(1500), 1);
    serial.PushInput({0x06, 0x15});
    const int64_t start = clock.NowMs();
    uint8_t b = 0;
    EXPECT_EQ(port.ReadByte(&b), 1);
    EXPECT_EQ(b, 0x06);
    EXPECT_EQ(port.ReadByte(&b), 1);
    EXPECT_EQ(b, 0x15);
    EXPECT_EQ(clock.NowMs(), start);
}

TEST_F(ReadByteTest, SilentLineWithShortConstantGivesUpAfterTenToElevenSeconds) {
    // Whatever the position within the current second.
    for (int64_t offset : {0, 1, 500, 999}) {
        VirtualClock local(1'700'000'000'000 + offset);
        ScopedClock use(local);
        OpenPort();
        ASSERT_EQ(port.SetReadTimeout(200), 1);
        uint8_t b = 0;
        EXPECT_EQ(port.ReadByte(&b), 0);
        const int64_t waited = local.NowMs() - (1'700'000'000'000 + offset);
        EXPECT_GE(waited, 10'000) << offset;
        EXPECT_LE(waited, 11'200) << offset;
        port.Close();
    }
}

TEST_F(ReadByteTest, SilentLineWith1500ConstantGivesUpWithinTwelveSeconds) {
    OpenPort();
    ASSERT_EQ(port.SetReadTimeout(1500), 1);
    const int64_t start = clock.NowMs();
    uint8_t b = 0;
    EXPECT_EQ(port.ReadByte(&b), 0);
    EXPECT_GE(clock.NowMs() - start, 10'000);
    EXPECT_LE(clock.NowMs() - start, 12'000);
}

TEST_F(ReadByteTest, LongConstantIsWaitedOutOnce) {
    OpenPort();
    ASSERT_EQ(port.SetReadTimeout(60000), 1);
    const int64_t start = clock.NowMs();
    uint8_t b = 0;
    EXPECT_EQ(port.ReadByte(&b), 0);
    EXPECT_EQ(clock.NowMs() - start, 60'000);
    EXPECT_EQ(serial.ReadCalls(), 1);
}

TEST_F(ReadByteTest, LateByteWithinTheDeadlineIsTaken) {
    OpenPort();
    ASSERT_EQ(port.SetReadTimeout(1000), 1);
    serial.SetReadHook([&, n = 0]() mutable {
        if (++n == 9) serial.PushInput({0xAB});
    });
    uint8_t b = 0;
    EXPECT_EQ(port.ReadByte(&b), 1);
    EXPECT_EQ(b, 0xAB);
    EXPECT_EQ(serial.EmptyReads(), 8);
}

TEST_F(ReadByteTest, ReadErrorFailsAtOnce) {
    OpenPort();
    ASSERT_EQ(port.SetReadTimeout(1000), 1);
    serial.SetReadFails(true);
    uint8_t b = 0;
    EXPECT_EQ(port.ReadByte(&b), 0);
    EXPECT_EQ(serial.ReadCalls(), 1);
    EXPECT_EQ(port.ReadByte(nullptr), 0);
}

TEST_F(ReadByteTest, HoldsPortMutexAroundTheReadCall) {
    OpenPort();
    serial.PushInput({1});
    bool held = false;
    serial.SetReadHook([&] { held = PortMutexHeld(); });
    uint8_t b = 0;
    EXPECT_EQ(port.ReadByte(&b), 1);
    EXPECT_TRUE(held);
    EXPECT_FALSE(PortMutexHeld());
}

using ConfigureTest = PortTest;

TEST_F(ConfigureTest, ParityFromFirstCharacterAnyCase) {
    OpenPort();
    const struct {
        const char* text;
        uint8_t parity;
    } cases[] = {
        {"EVEN", EVENPARITY}, {"e", EVENPARITY},  {"ODD", ODDPARITY},
        {"odd", ODDPARITY},   {"Mark", MARKPARITY}, {"s", SPACEPARITY},
        {"NONE", NOPARITY},   {"", NOPARITY},     {"x", NOPARITY},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(port.Configure(9600, c.text, 8, 1), 1) << c.text;
        EXPECT_EQ(serial.LastDcb().Parity, c.parity) << '"' << c.text << '"';
    }
}

TEST_F(ConfigureTest, FlowAndFlagSettings) {
    OpenPort();
    DCB old;
    old.fOutxCtsFlow = 1;
    old.fOutX = 1;
    old.fInX = 1;
    old.fDtrControl = DTR_CONTROL_DISABLE;
    old.fRtsControl = RTS_CONTROL_DISABLE;
    old.fAbortOnError = 1;
    old.fNull = 1;
    old.fTXContinueOnXoff = 0;
    old.DCBlength = 0;
    serial.SetInitialDcb(old);

    ASSERT_EQ(port.Configure(38400, "NONE", 8, 1), 1);
    const DCB d = serial.LastDcb();
    EXPECT_EQ(d.DCBlength, 28u);
    EXPECT_EQ(d.BaudRate, 38400u);
    EXPECT_EQ(d.ByteSize, 8);
    EXPECT_EQ(d.fBinary, 1u);
    EXPECT_EQ(d.fParity, 1u);  // checking on even without parity
    EXPECT_EQ(d.fOutxCtsFlow, 0u);
    EXPECT_EQ(d.fOutxDsrFlow, 1u);
    EXPECT_EQ(d.fDtrControl, DTR_CONTROL_ENABLE);
    EXPECT_EQ(d.fRtsControl, RTS_CONTROL_ENABLE);
    EXPECT_EQ(d.fDsrSensitivity, 0u);
    EXPECT_EQ(d.fTXContinueOnXoff, 1u);
    EXPECT_EQ(d.fOutX, 0u);
    EXPECT_EQ(d.fInX, 0u);
    EXPECT_EQ(d.fErrorChar, 0u);
    EXPECT_EQ(d.fNull, 0u);
    EXPECT_EQ(d.fAbortOnError, 0u);
}

TEST_F(ConfigureTest, StopBitsOneTwoOrKeepOld) {
    OpenPort();
    DCB old;
    old.StopBits = TWOSTOPBITS;
    serial.SetInitialDcb(old);
    ASSERT_EQ(port.Configure(9600, "NONE", 8, 3), 1);
    EXPECT_EQ(serial.LastDcb().StopBits, TWOSTOPBITS);

    ASSERT_EQ(port.Configure(9600, "NONE", 8, 1), 1);
    EXPECT_EQ(serial.LastDcb().StopBits, ONESTOPBIT);
    ASSERT_EQ(port.Configure(9600, "NONE", 8, 0), 1);
    EXPECT_EQ(serial.LastDcb().StopBits, ONESTOPBIT);
    ASSERT_EQ(port.Configure(9600, "NONE", 8, 2), 1);
    EXPECT_EQ(serial.LastDcb().StopBits, TWOSTOPBITS);
}

TEST_F(ConfigureTest, UnopenedPortOrRejectedSettingsGiveZero) {
    EXPECT_EQ(port.Configure(9600, "NONE", 8, 1), 0);
    EXPECT_EQ(serial.SetStateCount(), 0);

    OpenPort();
    serial.SetSetStateFails(true);
    EXPECT_EQ(port.Configure(9600, "NONE", 8, 1), 0);
}

TEST_F(ConfigureTest, FailingStateQueryIsIgnored) {
    OpenPort();
    serial.SetGetStateFails(true);
    EXPECT_EQ(port.Configure(19200, "ODD", 8, 2), 1);
    EXPECT_EQ(serial.LastDcb().BaudRate, 19200u);
}

using TimeoutTest = PortTest;

TEST_F(TimeoutTest, ReadAndWriteTimeoutValues) {
    OpenPort();
    ASSERT_EQ(port.SetReadTimeout(1500), 1);
    COMMTIMEOUTS t = serial.LastTimeouts();
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, MAXDWORD);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 1500u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 250u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 3000u);

    ASSERT_EQ(port.SetWriteTimeout(1000), 1);
    t = serial.LastTimeouts();
    EXPECT_EQ(t.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, MAXDWORD);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 10000u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 250u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
}

TEST_F(TimeoutTest, RejectedOrUnopenedGivesZero) {
    EXPECT_EQ(port.SetReadTimeout(1500), 0);
    EXPECT_EQ(port.SetWriteTimeout(1500), 0);
    OpenPort();
    serial.SetSetTimeoutsFails(true);
    EXPECT_EQ(port.SetReadTimeout(1500), 0);
    EXPECT_EQ(port.SetWriteTimeout(1500), 0);
}

using HandleTest = PortTest;

TEST_F(HandleTest, OpenHandsTheNameOverUnchanged) {
    EXPECT_EQ(port.GetHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(port.Open("\\\\.\\COM17"), 1);
    EXPECT_EQ(serial.LastOpenedName(), "\\\\.\\COM17");
    EXPECT_EQ(port.GetHandle(), serial.OpenHandle());
}

TEST_F(HandleTest, FailedOpenLeavesNoHandle) {
    serial.SetOpenFails(true);
    EXPECT_EQ(port.Open("\\\\.\\COM3"), 0);
    EXPECT_EQ(port.GetHandle(), INVALID_HANDLE_VALUE);
}

TEST_F(HandleTest, OpenAndCloseRepeatAndKeepSettings) {
    for (int i = 0; i < 3; ++i) {
        OpenPort();
        port.Close();
    }
    EXPECT_EQ(serial.OpenCount(), 3);
    EXPECT_EQ(serial.CloseCount(), 3);
    EXPECT_FALSE(serial.IsOpen());
    // A second close of the same (stale) handle is harmless.
    port.Close();
    EXPECT_EQ(serial.CloseCount(), 3);
}

TEST_F(HandleTest, UsbLinkRoutesHandleAndCloseToTheUsbDevice) {
    OpenPort();
    const HANDLE own = port.GetHandle();
    g_hUsbDevice = usb.Open(FakeUsbBackend::kDefaultPath);
    g_bUsbLink = 1;
    EXPECT_EQ(port.GetHandle(), g_hUsbDevice.load());

    port.Close();
    EXPECT_EQ(usb.CloseCount(), 1);
    EXPECT_TRUE(serial.IsOpen());  // the serial handle stays open

    g_bUsbLink = 0;
    EXPECT_EQ(port.GetHandle(), own);
    port.Close();
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_EQ(usb.CloseCount(), 1);
}

TEST_F(HandleTest, CloseWithNothingOpenCallsNoBackend) {
    port.Close();
    g_bUsbLink = 1;
    port.Close();
    for (const auto& c : serial.Calls()) EXPECT_NE(c, "Close");
    EXPECT_EQ(usb.CloseCount(), 0);
}

TEST_F(HandleTest, PurgeDiscardsInputOnTheOwnHandle) {
    OpenPort();
    serial.PushInput({1, 2, 3});
    g_bUsbLink = 1;
    EXPECT_NE(port.PurgeInput(), 0);
    EXPECT_EQ(serial.PendingInput(), 0u);
    serial.SetPurgeFails(true);
    EXPECT_EQ(port.PurgeInput(), 0);
}

TEST_F(PortTest, WaitSecondsUsesTheWholeSecondDeadline) {
    for (int64_t offset : {0, 250, 999}) {
        VirtualClock local(1'700'000'000'000 + offset);
        ScopedClock use(local);
        port.WaitSeconds(5);
        const int64_t waited = local.NowMs() - (1'700'000'000'000 + offset);
        EXPECT_GT(waited, 5'000) << offset;
        EXPECT_LE(waited, 6'000) << offset;
    }
}

}  // namespace
}  // namespace rtq::test
