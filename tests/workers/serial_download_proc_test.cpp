#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "engine/run_settings.h"
#include "engine/sector_sizes.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "tests/support/fake_serial_backend.h"
#include "tests/workers/worker_fixtures.h"
#include "workers/serial_download_proc.h"
#include "workers/win_thread.h"

namespace {

using rtq::test::RecordingDownloader;

class SerialDownloadProcTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_bUsbLink = 0;
        std::ofstream(m_file, std::ios::binary) << "MFW image";
    }
    void TearDown() override {
        std::remove(m_file.c_str());
        g_bCancelled = 0;
        g_bPinCodeRun = 0;
        g_bFriendlyNameRun = 0;
    }

    // A block as FLASH NOW fills it; the procedure frees it.
    SerialDownloadParams* Params(const std::string& file) {
        auto* p = new SerialDownloadParams;
        p->pOwner = &owner;
        p->pPrinter = &downloader;
        p->strPort = "\\\\.\\COM3";
        p->strParity = "EVEN";
        p->strFilePath = file;
        p->nStopBits = 2;
        p->nBaud = 115200;
        p->nFirstSector = 6;
        p->bMainFirmware = 1;
        return p;
    }

    rtq::VirtualClock clock;
    rtq::ScopedClock useClock{clock};
    rtq::test::FakeSerialBackend serial;
    rtq::test::ScopedSerialBackend useSerial{serial};
    rtq::test::CountingWindow owner;
    RecordingDownloader downloader;
    const std::string m_file = ::testing::TempDir() + "rtq_worker_data.mfw";
};

TEST_F(SerialDownloadProcTest, CompletedRunPostsItsResultAfterFinish) {
    downloader.result = 1005;
    g_bCancelled = 1;  // the owner reports a cancelled run by the flag
    static const int32_t kMap[kSectorCount + 2] = {kSectorCount};
    SerialDownloadParams* p = Params(m_file);
    p->pSectorMap = kMap;
    EXPECT_EQ(SerialDownloadProc(p), 0u);

    const auto calls = downloader.Calls();
    EXPECT_EQ(downloader.Texts(),
              (std::vector<std::string>{
                  "OpenSerialPort \\\\.\\COM3 115200 EVEN 2",
                  "DownloadSerial " + m_file + " 6 1 0 0 \\\\.\\COM3 115200 EVEN 2 0 0",
                  "Finish"}));
    EXPECT_EQ(calls[1].map, kMap);
    EXPECT_EQ(g_bCancelled, 1);

    const auto m = owner.Messages();
    ASSERT_EQ(owner.Codes(), (std::vector<UINT>{WM_DOWNLOAD_DONE, WM_ENABLE_CONTROLS}));
    EXPECT_EQ(m[0].lParam, 1005);
    EXPECT_EQ(m[1].lParam, 1);
    EXPECT_TRUE(m[0].posted && m[1].posted);
    EXPECT_EQ(m[0].atMs - calls[2].atMs, 500);
    EXPECT_TRUE(owner.Reported().empty());
}

TEST_F(SerialDownloadProcTest, SettingRunsSkipTheFileCheck) {
    g_bFriendlyNameRun = 1;
    SerialDownloadProc(Params("/no/such/file.mfw"));
    ASSERT_EQ(downloader.Texts().size(), 3u);
    EXPECT_EQ(downloader.Texts()[1],
              "DownloadSerial /no/such/file.mfw 6 1 0 0 \\\\.\\COM3 115200 EVEN 2 0 1");
    EXPECT_EQ(downloader.Calls()[1].map, g_aSectorSizes);
}

// A failed set-up is reported by the worker, which re-enables the dialog
// synchronously, posts no result and closes any port it opened.
TEST_F(SerialDownloadProcTest, FailedSetUpIsReportedAndLeavesNoPortOpen) {
    struct Case {
        bool fakeOpen;
        int openResult;
        bool configureFails;
        bool missingFile;
        int expected;
    };
    for (const Case& c : {Case{true, 1017, false, false, 1017},
                          Case{false, 1, true, false, 1018},
                          Case{false, 1, false, true, 1007}}) {
        SCOPED_TRACE(c.expected);
        owner.Clear();
        downloader.fakeOpen = c.fakeOpen;
        downloader.openResult = c.openResult;
        serial.SetSetStateFails(c.configureFails);
        SerialDownloadProc(Params(c.missingFile ? "/no/such/file.mfw" : m_file));
        EXPECT_EQ(owner.Reported(), std::vector<int>{c.expected});
        ASSERT_EQ(owner.Codes(), std::vector<UINT>{WM_ENABLE_CONTROLS});
        EXPECT_FALSE(owner.Messages()[0].posted);
        EXPECT_EQ(owner.Messages()[0].lParam, 1);
        EXPECT_FALSE(serial.IsOpen());
    }
    EXPECT_EQ(serial.OpenCount(), 2);
    for (const std::string& call : downloader.Texts())
        EXPECT_EQ(call.rfind("OpenSerialPort", 0), 0u) << call;
}

// Started as FLASH NOW starts it: suspended at above-normal priority, then
// resumed once the downloader knows its window.
TEST(SerialDownloadThread, RunsWhenResumedAndEndsBeforeItsObjectGoes) {
    rtq::ScaledClock clock(20);
    rtq::ScopedClock use(clock);
    rtq::test::CountingWindow owner;
    RecordingDownloader downloader;
    auto* p = new SerialDownloadParams;
    p->pOwner = &owner;
    p->pPrinter = &downloader;
    g_bPinCodeRun = 1;
    CWinThread* thread =
        AfxBeginThread(SerialDownloadProc, p, THREAD_PRIORITY_ABOVE_NORMAL, true);
    ASSERT_NE(thread, nullptr);
    rtq::SleepMs(200);
    EXPECT_TRUE(downloader.Calls().empty());
    downloader.SetNotifyWindow(&owner);
    thread->ResumeThread();
    ASSERT_TRUE(rtq::test::WaitUntil([&] { return owner.Codes().size() == 3; }));
    delete thread;
    g_bPinCodeRun = 0;
    EXPECT_EQ(owner.Codes(),
              (std::vector<UINT>{WM_CLOSE_PROGRESS, WM_DOWNLOAD_DONE, WM_ENABLE_CONTROLS}));
}

}  // namespace
