// The USB opening steps over the USB backend.

#include <gtest/gtest.h>

#include "engine/flash_downloader.h"
#include "engine/result_codes.h"
#include "platform/clock.h"
#include "ports/port_state.h"
#include "tests/support/fake_usb_backend.h"

namespace {

using rtq::test::FakeUsbBackend;

class UsbOpen : public ::testing::Test {
protected:
    rtq::VirtualClock clock;
    rtq::ScopedClock scopedClock{clock};
    FakeUsbBackend fake;
    rtq::test::ScopedUsbBackend scoped{fake};
    CFlashDownloader d;
};

TEST_F(UsbOpen, FindsAndOpensTheDevice) {
    std::string path;
    EXPECT_EQ(d.FindUsbDevicePath(&path), 1);
    EXPECT_EQ(path, FakeUsbBackend::kDefaultPath);
    EXPECT_EQ(d.OpenUsb(), 1);
    EXPECT_EQ(fake.LastOpenedPath(), FakeUsbBackend::kDefaultPath);
    EXPECT_EQ(g_hUsbDevice.load(), fake.OpenHandle());
    EXPECT_EQ(d.QueryUsbDeviceId(), 1);
    EXPECT_EQ(d.QueryUsbPortStatus(), 1);
    EXPECT_EQ(fake.CloseCount(), 0);
}

TEST_F(UsbOpen, NoDeviceOrNoOpenFails) {
    fake.SetDeviceFound(false);
    std::string path = "unchanged";
    EXPECT_EQ(d.FindUsbDevicePath(&path), 0);
    EXPECT_EQ(path, "unchanged");
    EXPECT_EQ(d.OpenUsb(), 0);
    EXPECT_EQ(g_hUsbDevice.load(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(fake.OpenCount(), 0);

    fake.SetDeviceFound(true);
    fake.SetOpenFails(true);
    EXPECT_EQ(d.OpenUsb(), 0);
    EXPECT_EQ(g_hUsbDevice.load(), INVALID_HANDLE_VALUE);
}

TEST_F(UsbOpen, ARefusedRequestClosesTheDevice) {
    ASSERT_EQ(d.OpenUsb(), 1);
    fake.SetDeviceIdResult(false);
    EXPECT_EQ(d.QueryUsbDeviceId(), 0);
    EXPECT_EQ(fake.CloseCount(), 1);
    EXPECT_EQ(fake.OpenHandle(), INVALID_HANDLE_VALUE);

    fake.SetDeviceIdResult(true);
    ASSERT_EQ(d.OpenUsb(), 1);
    fake.SetPortStatusResult(false);
    EXPECT_EQ(d.QueryUsbPortStatus(), 0);
    EXPECT_EQ(fake.CloseCount(), 2);
    EXPECT_EQ(fake.OpenHandle(), INVALID_HANDLE_VALUE);
}

}  // namespace
