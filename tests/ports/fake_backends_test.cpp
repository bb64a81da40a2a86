// The fakes other layers' tests build on: the timing and threading
// properties those tests rely on.

#include <gtest/gtest.h>

#include <thread>

#include "platform/clock.h"
#include "tests/support/fake_serial_backend.h"
#include "tests/support/fake_usb_backend.h"

namespace rtq::test {
namespace {

TEST(FakeSerialBackend, EmptyReadCostsOneReadConstant) {
    VirtualClock clock;
    ScopedClock use(clock);
    FakeSerialBackend fake;
    const HANDLE h = fake.Open("COM1");
    COMMTIMEOUTS t;
    t.ReadTotalTimeoutConstant = 1500;
    ASSERT_TRUE(fake.SetTimeouts(h, t));
    uint8_t b = 0;
    size_t got = 0;
    const int64_t start = clock.NowMs();
    ASSERT_TRUE(fake.Read(h, &b, 1, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(clock.NowMs() - start, 1500);

    // Never set: still moves time, so a read loop cannot spin in place.
    fake.Close(h);
    const HANDLE h2 = fake.Open("COM1");
    fake.SetTimeouts(h2, COMMTIMEOUTS{});
    ASSERT_TRUE(fake.Read(h2, &b, 1, &got));
    EXPECT_GT(clock.NowMs() - start, 1500);
}

TEST(FakeSerialBackend, WriteHookMayAnswerAndSecondOpenIsRefused) {
    VirtualClock clock;
    ScopedClock use(clock);
    FakeSerialBackend fake;
    const HANDLE h = fake.Open("COM1");
    EXPECT_EQ(fake.Open("COM1"), INVALID_HANDLE_VALUE);
    fake.SetWriteHook([&](const std::vector<uint8_t>& bytes) {
        if (!bytes.empty()) fake.PushInput({0x06});
    });
    const uint8_t cmd[] = {0x1D, 0x01};
    size_t n = 0;
    ASSERT_TRUE(fake.Write(h, cmd, 2, &n));
    uint8_t b = 0;
    size_t got = 0;
    ASSERT_TRUE(fake.Read(h, &b, 1, &got));
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(b, 0x06);
    fake.Close(h);
    EXPECT_FALSE(fake.Write(h, cmd, 2, &n));  // closed handle
}

TEST(FakeSerialBackend, InputFromAnotherThreadEndsAWaitingRead) {
    ScaledClock clock(10);
    ScopedClock use(clock);
    FakeSerialBackend fake;
    const HANDLE h = fake.Open("COM1");
    COMMTIMEOUTS t;
    t.ReadTotalTimeoutConstant = 60000;
    ASSERT_TRUE(fake.SetTimeouts(h, t));
    std::thread pusher([&] {
        SleepMs(200);
        fake.PushInput({0x42});
    });
    uint8_t b = 0;
    size_t got = 0;
    const int64_t start = NowMs();
    ASSERT_TRUE(fake.Read(h, &b, 1, &got));
    pusher.join();
    EXPECT_EQ(got, 1u);
    EXPECT_LT(NowMs() - start, 30000);
}

TEST(FakeUsbBackend, WaitReadableWakesOnInputAndReadErrors) {
    ScaledClock clock(10);
    ScopedClock use(clock);
    FakeUsbBackend fake;
    std::string path;
    ASSERT_TRUE(fake.FindDevicePath(&path));
    const HANDLE h = fake.Open(path);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(fake.WaitReadable(h, 50));

    std::thread pusher([&] {
        SleepMs(100);
        fake.PushInput({1, 2});
    });
    EXPECT_TRUE(fake.WaitReadable(h, 60000));
    pusher.join();
    uint8_t buf[4];
    size_t got = 0;
    ASSERT_TRUE(fake.Read(h, buf, 4, &got));
    EXPECT_EQ(got, 2u);
    EXPECT_FALSE(fake.WaitReadable(h, 0));

    fake.SetReadError(true);
    EXPECT_TRUE(fake.WaitReadable(h, 0));
    EXPECT_FALSE(fake.Read(h, buf, 4, &got));
    EXPECT_EQ(fake.MaxConcurrentReads(), 1);
}

TEST(FakeUsbBackend, UnpluggedDeviceRefusesAndOldHandleIsInvalid) {
    FakeUsbBackend fake;
    const HANDLE h = fake.Open(FakeUsbBackend::kDefaultPath);
    fake.SetUnplugged(true);
    size_t n = 0;
    const uint8_t b = 0;
    EXPECT_EQ(fake.Write(h, &b, 1, &n), UsbWriteStatus::InvalidHandle);
    std::string path;
    EXPECT_FALSE(fake.FindDevicePath(&path));
    fake.Close(h);
    EXPECT_EQ(fake.Open(FakeUsbBackend::kDefaultPath), INVALID_HANDLE_VALUE);
    fake.SetUnplugged(false);
    const HANDLE h2 = fake.Open(FakeUsbBackend::kDefaultPath);
    EXPECT_NE(h2, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fake.Write(h, &b, 1, &n), UsbWriteStatus::InvalidHandle);
    EXPECT_EQ(fake.Write(h2, &b, 1, &n), UsbWriteStatus::Ok);
}

}  // namespace
}  // namespace rtq::test
