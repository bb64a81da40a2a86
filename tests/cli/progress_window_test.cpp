#include "cli/progress_window.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/interrupt.h"
#include "engine/progress_info.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"

namespace {

using rtq::cli::CliProgressWindow;
using rtq::cli::PlainProgress;
using rtq::cli::TerminalProgress;

LPARAM Addr(const ProgressInfo& p) { return reinterpret_cast<LPARAM>(&p); }

void Update(CliProgressWindow& w, ProgressInfo& p, const std::string& text, int32_t range,
            int32_t pos) {
    p.m_strText = text;
    p.m_nRange = range;
    p.m_nPos = pos;
    w.SendMessage(WM_UPDATE_PROGRESS, 0, Addr(p));
}

TEST(CliProgress, EachNewStepIsOneLineWithoutATerminal) {
    rtq::VirtualClock clock;  // the pause before the progress closes
    rtq::ScopedClock scopedClock{clock};
    std::ostringstream err;
    PlainProgress view(err);
    CliProgressWindow w(view, false);
    ProgressInfo p;
    w.SendMessage(WM_OPEN_PROGRESS, 1, 0);
    Update(w, p, "Switching printer to download...", 10000, 0);
    Update(w, p, "Switching printer to download...", 10000, 10000);
    w.SendMessage(WM_SET_PROGRESS_RANGE, 65536, 16384);
    Update(w, p, "Erasing flash sector 1 of 3...", 65536, 0);
    Update(w, p, "Calculating checksum", 65536, 0);
    Update(w, p, "Erasing flash sector 2 of 3...", 65536, 0);
    w.SendMessage(WM_CLOSE_PROGRESS, 0, 0);
    EXPECT_EQ(err.str(),
              "Switching printer to download...\n"
              "Erasing flash sector 1 of 3...\n"
              "Calculating checksum\n"
              "Erasing flash sector 2 of 3...\n");
}

TEST(CliProgress, ATerminalRedrawsOneLineWithStepAndPercent) {
    std::ostringstream err;
    TerminalProgress view(err);
    CliProgressWindow w(view, false);
    ProgressInfo p;
    w.SendMessage(WM_OPEN_PROGRESS, 1, 0);
    Update(w, p, "Downloading data to flash sector 1 of 1...", 65536, 0);
    w.SendMessage(WM_SET_PROGRESS_RANGE, 65536, 16384);
    w.SendMessage(WM_SET_PROGRESS_RANGE, 65536, 16384);  // unchanged: not redrawn
    w.SendMessage(WM_SET_PROGRESS_RANGE, 65536, 65536);
    Update(w, p, "Calculating checksum", 65536, 0);
    w.EndLine();
    w.EndLine();  // a closed line stays closed
    EXPECT_EQ(err.str(),
              "\rDownloading data to flash sector 1 of 1... 0%\x1b[K"
              "\rDownloading data to flash sector 1 of 1... 25%\x1b[K"
              "\rDownloading data to flash sector 1 of 1... 100%\x1b[K"
              "\rCalculating checksum 0%\x1b[K\n");
}

TEST(CliProgress, PercentageStaysWithinTheBar) {
    std::ostringstream err;
    TerminalProgress view(err);
    CliProgressWindow w(view, false);
    ProgressInfo p;
    w.SendMessage(WM_OPEN_PROGRESS, 1, 0);
    // "Download completed!" carries 65536 on a bar of 10000.
    Update(w, p, "Download completed!", 10000, 65536);
    Update(w, p, "Other", 0, 5);
    EXPECT_NE(err.str().find("Download completed! 100%"), std::string::npos);
    EXPECT_NE(err.str().find("Other 0%"), std::string::npos);
}

TEST(CliProgress, CtrlCCancelsOnlyUntilTheLineCheckPassed) {
    rtq::cli::SilentProgress view;
    CliProgressWindow w(view, true);
    EXPECT_TRUE(w.IsBluetoothChecked());
    g_bCancelled = 0;
    {
        rtq::cli::InterruptGuard guard(&w);
        rtq::cli::OnInterrupt();  // progress not open yet
        EXPECT_EQ(g_bCancelled.load(), 0);
        w.SendMessage(WM_OPEN_PROGRESS, 1, 0);
        rtq::cli::OnInterrupt();
        EXPECT_EQ(g_bCancelled.load(), 1);
        g_bCancelled = 0;
        w.SendMessage(WM_DISABLE_CANCEL, 0, 0);
        // The request took the offer first: ending it keeps the run
        // cancelled (Windows asks on a thread of its own, which may not
        // have raised the flag yet).
        EXPECT_EQ(g_bCancelled.exchange(0), 1);
        rtq::cli::OnInterrupt();
        EXPECT_EQ(g_bCancelled.load(), 0);
        // A setting run opens its progress without Cancel.
        w.SendMessage(WM_OPEN_PROGRESS, 0, 0);
        rtq::cli::OnInterrupt();
        EXPECT_EQ(g_bCancelled.load(), 0);
    }
    w.SendMessage(WM_OPEN_PROGRESS, 1, 0);
    rtq::cli::OnInterrupt();  // no run guarded any more
    EXPECT_EQ(g_bCancelled.load(), 0);
}

// A signal that came while the run was still being opened (its port, its
// file) cancels it as its progress opens, but only if it offers Cancel.
TEST(CliProgress, AnEarlySignalCancelsAtTheOpeningOnlyARunThatOffersCancel) {
    rtq::cli::SilentProgress view;
    g_bCancelled = 0;
    for (const WPARAM offered : {WPARAM{1}, WPARAM{0}}) {
        const rtq::cli::InterruptGuard guard;
        CliProgressWindow w(view, false);
        const rtq::cli::InterruptTarget target(&w);
        rtq::cli::OnInterrupt();
        rtq::cli::OnInterrupt();  // a second one changes nothing
        EXPECT_TRUE(rtq::cli::EndRequested());
        EXPECT_EQ(g_bCancelled.load(), 0);
        w.SendMessage(WM_OPEN_PROGRESS, offered, 0);
        EXPECT_EQ(g_bCancelled.exchange(0), offered == 1 ? 1 : 0) << offered;
    }
    EXPECT_FALSE(rtq::cli::EndRequested());
}

}  // namespace
