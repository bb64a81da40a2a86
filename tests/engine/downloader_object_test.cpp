// The downloader object outside a whole run: construction, progress,
// port opening, the file test and Finish.

#include <gtest/gtest.h>

#include "engine/allocation_hooks.h"
#include "engine/flash_downloader.h"
#include "engine/result_codes.h"
#include "engine/sector_sizes.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "tests/engine/temp_files.h"
#include "tests/support/fake_serial_backend.h"
#include "tests/support/recording_notify_window.h"

namespace {

using rtq::test::FakeSerialBackend;
using rtq::test::RecordingNotifyWindow;

class DownloaderObject : public ::testing::Test {
protected:
    DownloaderObject() { g_bUsbLink = 0; }
    ~DownloaderObject() override { g_bUsbLink = 0; }

    rtq::VirtualClock clock;
    rtq::ScopedClock scopedClock{clock};
    FakeSerialBackend fake;
    rtq::test::ScopedSerialBackend scopedBackend{fake};
    RecordingNotifyWindow window;
    rtq::test::TempFolder dir;
};

std::vector<std::string> g_stopMessages;
void RecordStop(const std::string& text) { g_stopMessages.push_back(text); }
CPrinterLink* NoLink() { return nullptr; }

TEST_F(DownloaderObject, ConstructionClearsTheUsbHandleAndCreatesALink) {
    g_hUsbDevice = 1234;
    CFlashDownloader d;
    EXPECT_EQ(g_hUsbDevice.load(), 0);
    EXPECT_NE(d.Link(), nullptr);
    EXPECT_TRUE(d.SectorPlan().empty());
    EXPECT_EQ(d.HeldBlocks(), 0);
}

TEST_F(DownloaderObject, WithoutALinkItSaysSoAndEveryRunFails) {
    g_stopMessages.clear();
    rtq::SetStopMessageHook(RecordStop);
    rtq::SetLinkAllocHook(NoLink);
    {
        CFlashDownloader d;
        rtq::SetLinkAllocHook(nullptr);
        rtq::SetStopMessageHook(nullptr);
        EXPECT_EQ(g_stopMessages, (std::vector<std::string>{"Error: Insufficient memory"}));
        EXPECT_EQ(d.Link(), nullptr);
        d.SetNotifyWindow(&window);
        EXPECT_EQ(d.OpenSerialPort("/dev/x", 9600, "NONE", 1), kResultPortOpenFailed);
        const std::string path = dir.Write("f.bin", rtq::test::FontImage(65536));
        const SerialPortSettings serial{"/dev/x", 9600, "NONE", 1};
        EXPECT_EQ(d.DownloadSerial(path, 20, 0, 0, kLinkSerial, g_aSectorSizes, &serial, 0, 0),
                  kResultSwitchFailed);
        EXPECT_EQ(d.DownloadSetting(1), kResultDataTimeout);
        d.Finish();
    }
    rtq::SetLinkAllocHook(nullptr);
    rtq::SetStopMessageHook(nullptr);
    EXPECT_TRUE(fake.Writes().empty());
}

TEST_F(DownloaderObject, SetProgressUpdatesOnlyWhatIsGiven) {
    CFlashDownloader d;
    d.SetProgress("before window", 1, 2, 3);  // no window: nothing at all
    d.SetNotifyWindow(&window);
    d.SetProgress("", -1, -1, -1);
    d.SetProgress("Step", 100, 5, 7);
    d.SetProgress("", -1, 50, -1);
    d.SetProgress("", -1, -1, -1);
    const std::vector<ProgressInfo> p = window.Progress();
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].m_strText, "");
    EXPECT_EQ(p[0].m_nRange, 0);
    EXPECT_EQ(p[1].m_strText, "Step");
    EXPECT_EQ(p[2].m_strText, "Step");
    EXPECT_EQ(p[2].m_nRange, 100);
    EXPECT_EQ(p[2].m_nPos, 50);
    EXPECT_EQ(p[2].m_nStep, 7);
    EXPECT_EQ(p[3].m_nPos, 50);
    // Every record travels by the address of the one embedded record.
    const auto messages = window.Messages();
    EXPECT_EQ(messages[0].lParam, messages[3].lParam);
    EXPECT_EQ(messages[0].wParam, 0u);
}

TEST_F(DownloaderObject, ReopenClosesWaitsAndConfiguresAgain) {
    CFlashDownloader d;
    ASSERT_EQ(d.OpenSerialPort("/dev/a", 9600, "NONE", 1), kResultSuccess);
    const int64_t start = clock.NowMs();
    EXPECT_EQ(d.ReopenSerialPort("/dev/a", 38400, "ODD", 2), kResultSuccess);
    EXPECT_EQ(clock.NowMs() - start, 100);
    EXPECT_EQ(fake.OpenCount(), 2);
    EXPECT_EQ(fake.CloseCount(), 1);
    EXPECT_EQ(fake.LastDcb().BaudRate, 38400u);
    EXPECT_EQ(fake.LastDcb().Parity, ODDPARITY);
    d.Finish();

    fake.SetOpenFails(true);
    const int64_t failStart = clock.NowMs();
    EXPECT_EQ(d.ReopenSerialPort("/dev/a", 38400, "ODD", 2), kResultPortOpenFailed);
    EXPECT_EQ(clock.NowMs() - failStart, 50 + 40 * 1050);
}

TEST_F(DownloaderObject, CheckDataFileClosesThePortWhenTheFileIsMissing) {
    CFlashDownloader d;
    ASSERT_EQ(d.OpenSerialPort("/dev/a", 9600, "NONE", 1), kResultSuccess);
    EXPECT_EQ(d.CheckDataFile(dir.Write("ok.bin", {1})), kResultSuccess);
    EXPECT_TRUE(fake.IsOpen());
    EXPECT_EQ(d.CheckDataFile(dir.Path()), kResultFileOpenFailed);
    EXPECT_FALSE(fake.IsOpen());
    EXPECT_EQ(d.CheckDataFile(dir.Path() + "/none"), kResultFileOpenFailed);
    EXPECT_EQ(d.CheckDataFile(""), kResultFileOpenFailed);
}

TEST_F(DownloaderObject, FinishClosesTheProgressExceptForUsb) {
    {
        CFlashDownloader d;
        d.SetNotifyWindow(&window);
        ASSERT_EQ(d.OpenSerialPort("/dev/a", 9600, "NONE", 1), kResultSuccess);
        d.Finish();
        EXPECT_EQ(window.Codes(), (std::vector<UINT>{WM_CLOSE_PROGRESS}));
        EXPECT_EQ(fake.CloseCount(), 1);
    }
    window.Clear();
    {
        CFlashDownloader d;
        d.SetNotifyWindow(&window);
        g_bUsbLink = 1;
        d.Finish();
        EXPECT_TRUE(window.Codes().empty());
    }
}

}  // namespace
