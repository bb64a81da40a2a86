// USB runs against the simulated printer. The notify window stands in for
// the main dialog's receive thread: it hands the printer's reply over as
// soon as the expected number of bytes is there.

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/flash_downloader.h"
#include "engine/result_codes.h"
#include "engine/run_settings.h"
#include "engine/sector_sizes.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "sim/sim_printer.h"
#include "tests/engine/temp_files.h"
#include "tests/engine/usb_bench.h"
#include "tests/support/fake_usb_backend.h"
#include "tests/support/recording_notify_window.h"

namespace {

using rtq::sim::CommandKind;
using rtq::test::UsbBench;
using rtq::sim::FaultRule;

TEST(UsbRun, MainFirmwareWithTheUsbWaits) {
    UsbBench b;
    const std::vector<uint8_t> image = rtq::test::MainFirmwareImage(131072);
    ASSERT_EQ(b.Run(b.dir.Write("m.mfw", image), 6, true, false), kResultSuccess);
    EXPECT_EQ(b.printer.ReadFlash(0x20000, image.size()), image);
    EXPECT_EQ(b.printer.ErasedSectors(), (std::vector<int>{6, 7, 6}));
    EXPECT_EQ(b.printer.WrittenSectors(), (std::vector<int>{7, 6}));
    EXPECT_EQ(b.printer.CommandCount(CommandKind::RecalculateCrc), 1);

    const auto messages = b.window.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front().msg, WM_OPEN_PROGRESS);
    EXPECT_EQ(messages.front().wParam, 0u);  // no Cancel over USB
    for (const auto& m : messages) {
        EXPECT_NE(m.msg, WM_DISABLE_CANCEL);
        EXPECT_NE(m.msg, WM_CLOSE_PROGRESS);  // the main dialog closes it
        if (m.msg == WM_UPDATE_PROGRESS && m.progress.m_strText == "Calculating checksum") {
            EXPECT_EQ(m.progress.m_nStep, 3276);
        }
    }
    // 15 s after the switch.
    size_t at = 0;
    const int64_t switchText = b.TimeOf("Switching printer to download...", &at);
    EXPECT_EQ(messages[at + 1].atMs - switchText, 15000);
    // 1 s between the last checksum's reply and the recalculation.
    size_t recalc = 0;
    b.TimeOf("Recalculate CRC", &recalc);
    EXPECT_EQ(messages[recalc].atMs - messages[recalc - 1].atMs, 1000);
}

TEST(UsbRun, TheLinkIsReopenedOnceDuringTheLineCheck) {
    {
        UsbBench b;  // answers only after the reopen
        FaultRule silent = FaultRule::Silent(CommandKind::LineCheck, 1);
        silent.times = 4;
        b.printer.AddFault(silent);
        EXPECT_EQ(b.Run(b.dir.Write("f.bin", rtq::test::FontImage(65536)), 20, false, false),
                  kResultSuccess);
        EXPECT_EQ(b.printer.CommandCount(CommandKind::LineCheck), 5);
        EXPECT_EQ(b.fake.OpenCount(), 2);
        EXPECT_EQ(b.fake.DeviceIdCount(), 1);
    }
    {
        UsbBench b;  // never answers
        b.printer.AddFault(FaultRule::Silent(CommandKind::LineCheck, 0));
        EXPECT_EQ(b.Run(b.dir.Write("f.bin", rtq::test::FontImage(65536)), 20, false, false),
                  kResultLineBusy);
        EXPECT_EQ(b.printer.CommandCount(CommandKind::LineCheck), 30);
        EXPECT_EQ(b.fake.OpenCount(), 2);
    }
    const struct {
        void (rtq::test::FakeUsbBackend::*fail)(bool);
        bool value;
        int code;
    } reopenFailures[] = {
        {&rtq::test::FakeUsbBackend::SetOpenFails, true, kResultUsbOpenFailed},
        {&rtq::test::FakeUsbBackend::SetDeviceIdResult, false, kResultUsbDeviceIdFailed},
        {&rtq::test::FakeUsbBackend::SetPortStatusResult, false, kResultUsbStatusFailed},
    };
    for (const auto& f : reopenFailures) {
        UsbBench b;
        b.printer.AddFault(FaultRule::Silent(CommandKind::LineCheck, 0));
        ASSERT_EQ(b.d.OpenUsb(), 1);
        (b.fake.*f.fail)(f.value);
        EXPECT_EQ(b.d.DownloadUsb(b.dir.Write("f.bin", rtq::test::FontImage(65536)), 20, 0, 0,
                                  kLinkUsb, g_aSectorSizes, 0, 0),
                  f.code);
        EXPECT_EQ(b.printer.CommandCount(CommandKind::LineCheck), 4);
        b.d.Finish();
    }
}

TEST(UsbRun, IplReopensTheDeviceAfterTheRestart) {
    rtq::sim::SimConfig config;
    config.iplRestartMs = 10000;
    UsbBench b(config);
    const std::vector<uint8_t> image = rtq::test::IplImage();
    const std::string path = b.dir.Write("b.ipl", image);
    ASSERT_EQ(b.d.OpenUsb(), 1);
    EXPECT_EQ(b.d.DownloadUsb(path, 4, 0, 1, kLinkUsb, g_aSectorSizes, 0, 0), kResultSuccess);
    EXPECT_EQ(b.printer.ReadFlash(0x8000, 0x18000),
              std::vector<uint8_t>(image.begin() + 0x8000, image.end()));
    EXPECT_EQ(b.printer.WrittenSectors(), (std::vector<int>{5, 4}));
    // The node opens only once at a time: closed, then reopened.
    EXPECT_EQ(b.fake.OpenCount(), 2);
    EXPECT_EQ(b.fake.CloseCount(), 1);
    // 11 s, then 5 s more before the reopen's line check.
    size_t at = 0;
    const int64_t restart = b.TimeOf("Reseting printer, please wait...", &at);
    const auto messages = b.window.Messages();
    EXPECT_EQ(messages[at + 1].atMs, (restart / 1000 + 12) * 1000);
    EXPECT_EQ(messages[at + 3].atMs - messages[at + 2].atMs, 5000);
    b.d.Finish();
}

TEST(UsbRun, ASettingTravelsOverUsbToo) {
    UsbBench b;
    g_strFriendlyName = "Van 3";
    ASSERT_EQ(b.d.OpenUsb(), 1);
    EXPECT_EQ(b.d.DownloadUsb("", 4, 0, 0, kLinkUsb, g_aSectorSizes, 0, 1), kResultSuccess);
    g_strFriendlyName.clear();
    EXPECT_EQ(b.printer.FriendlyName(), std::optional<std::string>("Van 3"));
    EXPECT_EQ(b.fake.WrittenBytes(),
              (std::vector<uint8_t>{0x1D, 0x1D, 0x51, 0x46, 5, 'V', 'a', 'n', ' ', '3', 0x1D, 0xFF}));
    b.d.Finish();
}

}  // namespace
