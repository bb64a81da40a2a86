#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "engine/sector_sizes.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "tests/workers/worker_fixtures.h"
#include "workers/send_usb_thread.h"

namespace {

TEST(CSend_USBThread, RunsTheDownloadThenReportsAndEndsInOrder) {
    rtq::ScaledClock clock(20);
    rtq::ScopedClock use(clock);
    g_bUsbLink = 1;
    rtq::test::CountingWindow owner;
    std::atomic<bool> endedBeforeKill{false};
    std::atomic<bool> killed{false};
    owner.onKill = [&] {
        endedBeforeKill = !owner.Of(WM_SEND_USB_ENDED).empty();
        killed = true;
    };
    rtq::test::RecordingDownloader downloader;
    downloader.result = 1041;

    const int64_t startedAt = rtq::NowMs();
    auto thread = std::make_unique<CSend_USBThread>();
    // The parameters arrive after the thread has started.
    thread->SetParameters(&owner, &downloader, "/data/fw.mfw", 6, 1, 0, 1, 0);
    ASSERT_TRUE(rtq::test::WaitUntil([&] { return killed.load(); }));
    EXPECT_TRUE(endedBeforeKill);
    EXPECT_EQ(owner.killCalls(), 1);

    const auto calls = downloader.Calls();
    ASSERT_EQ(downloader.Texts(), (std::vector<std::string>{
                                      "DownloadUsb /data/fw.mfw 6 1 0 2 1 0", "Finish"}));
    EXPECT_EQ(calls[0].map, g_aSectorSizes);
    EXPECT_GE(calls[0].atMs - startedAt, 2000);

    const auto m = owner.Messages();
    ASSERT_EQ(owner.Codes(),
              (std::vector<UINT>{WM_DOWNLOAD_DONE, WM_ENABLE_CONTROLS, WM_SEND_USB_ENDED}));
    EXPECT_EQ(m[0].lParam, 1041);
    EXPECT_EQ(m[1].lParam, 1);
    EXPECT_EQ(m[2].lParam, thread->Number());
    EXPECT_TRUE(m[0].posted && m[1].posted && m[2].posted);
    EXPECT_GE(m[0].atMs - calls[1].atMs, 500);
    EXPECT_GE(m[2].atMs - m[1].atMs, 1000);

    thread.reset();
    EXPECT_EQ(owner.Of(WM_SEND_USB_ENDED).size(), 1u);
    owner.onKill = nullptr;
    g_bUsbLink = 0;
}

}  // namespace
