#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <memory>

#include "engine/sector_sizes.h"
#include "platform/clock.h"
#include "platform/last_error.h"
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

TEST(CSend_USBThread, ParametersSetAfterThePauseStillStartTheRunAndCarryItsCause) {
    rtq::ScaledClock clock(20);
    rtq::ScopedClock use(clock);
    g_bUsbLink = 1;
    rtq::test::CountingWindow owner;
    struct FailingDownloader : rtq::test::RecordingDownloader {
        int DownloadUsb(std::string path, int32_t first, int32_t main, int32_t ipl,
                        int32_t link, const int32_t* map, int32_t pin, int32_t name) override {
            rtq::SetLastErrorFromErrno(ENODEV, "/dev/usb/lp0");
            return RecordingDownloader::DownloadUsb(path, first, main, ipl, link, map, pin, name);
        }
    } downloader;
    downloader.result = 1038;

    const int64_t startedAt = rtq::NowMs();
    auto thread = std::make_unique<CSend_USBThread>();
    // A stalled user-interface thread: the parameters come a second after
    // the thread's pause has ended.
    rtq::SleepMs(CSend_USBThread::kParametersPauseMs + 1000);
    const int64_t setAt = rtq::NowMs();
    thread->SetParameters(&owner, &downloader, "/data/font.bin", 0, 0, 0, 0, 0);
    ASSERT_TRUE(rtq::test::WaitUntil([&] { return !owner.Of(WM_SEND_USB_ENDED).empty(); }));

    ASSERT_EQ(downloader.Texts(), (std::vector<std::string>{
                                      "DownloadUsb /data/font.bin 0 0 0 2 0 0", "Finish"}));
    EXPECT_GE(downloader.Calls()[0].atMs, setAt);
    EXPECT_GE(downloader.Calls()[0].atMs - startedAt, CSend_USBThread::kParametersPauseMs + 1000);
    ASSERT_EQ(owner.Codes(),
              (std::vector<UINT>{WM_DOWNLOAD_DONE, WM_ENABLE_CONTROLS, WM_SEND_USB_ENDED}));
    EXPECT_EQ(owner.Messages()[0].lParam, 1038);
    // The failure was seen on the send thread; its cause goes with the run.
    EXPECT_EQ(downloader.ResultCause().number, ENODEV);
    EXPECT_EQ(downloader.ResultCause().path, "/dev/usb/lp0");
    thread.reset();
    g_bUsbLink = 0;
}

TEST(CSend_USBThread, ParametersThatComeTooLateEndTheRunAtOnceWithoutDownloading) {
    rtq::VirtualClock clock;
    rtq::ScopedClock use(clock);
    g_bUsbLink = 1;
    rtq::test::CountingWindow owner;
    rtq::test::RecordingDownloader downloader;

    auto thread = std::make_unique<CSend_USBThread>();
    // Real time: the virtual clock moves only when the thread waits.
    rtq::SystemClock real;
    const int64_t gaveUpAt = CSend_USBThread::kParametersPauseMs + CSend_USBThread::kParametersWaitMs;
    for (int i = 0; i < 10000 && clock.SleptMs() < gaveUpAt; ++i) real.SleepMs(1);
    ASSERT_EQ(clock.SleptMs(), gaveUpAt);
    EXPECT_TRUE(owner.Messages().empty());

    thread->SetParameters(&owner, &downloader, "/data/font.bin", 0, 0, 0, 0, 0);
    EXPECT_EQ(downloader.Texts(), (std::vector<std::string>{"Finish"}));
    const auto m = owner.Messages();
    ASSERT_EQ(owner.Codes(),
              (std::vector<UINT>{WM_DOWNLOAD_DONE, WM_ENABLE_CONTROLS, WM_SEND_USB_ENDED}));
    EXPECT_EQ(m[0].lParam, -1);
    EXPECT_EQ(m[1].lParam, 1);
    EXPECT_EQ(m[2].lParam, thread->Number());
    EXPECT_TRUE(m[0].posted && m[1].posted && m[2].posted);
    thread.reset();  // the owner's handler of the ended-message: the thread has ended
    EXPECT_EQ(owner.Of(WM_SEND_USB_ENDED).size(), 1u);
    EXPECT_EQ(clock.SleptMs(), gaveUpAt);
    g_bUsbLink = 0;
}

TEST(CSend_USBThread, OwnerThatDeletesTheThreadBeforeItsParametersIsNotHeldUp) {
    rtq::ScaledClock clock(20);
    rtq::ScopedClock use(clock);
    const int64_t startedAt = rtq::NowMs();
    auto thread = std::make_unique<CSend_USBThread>();
    thread.reset();
    EXPECT_LT(rtq::NowMs() - startedAt,
              CSend_USBThread::kParametersPauseMs + CSend_USBThread::kParametersWaitMs / 2);
}

}  // namespace
