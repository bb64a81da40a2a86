#pragma once
// A USB run against the in-process simulated printer on the virtual clock.
// The notify window stands in for the main dialog's receive thread: it
// hands the printer's reply over as soon as the expected number of bytes
// is there.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/flash_downloader.h"
#include "engine/run_settings.h"
#include "engine/sector_sizes.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "sim/sim_printer.h"
#include "tests/engine/temp_files.h"
#include "tests/support/fake_usb_backend.h"
#include "tests/support/recording_notify_window.h"

namespace rtq::test {

struct UsbBench {
    explicit UsbBench(rtq::sim::SimConfig config = {}) : printer(config) {
        g_bUsbLink = 1;
        fake.SetWriteHook([this](const std::vector<uint8_t>& bytes) { printer.Receive(bytes); });
        window.onSend = [this](UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
            const size_t n = static_cast<size_t>(wParam);
            if (msg == WM_START_RECV_USB && printer.OutputAvailable() >= n) {
                printer.TakeOutput(receivedBuffer, n);
                window.SignalReceivedUSB();
            }
            return 1;
        };
        d.SetNotifyWindow(&window);
    }
    ~UsbBench() { g_bUsbLink = 0; }

    int Run(const std::string& path, int32_t first, bool main, bool ipl) {
        const int opened = d.OpenUsb();
        EXPECT_EQ(opened, 1);
        const int r = d.DownloadUsb(path, first, main, ipl, kLinkUsb, g_aSectorSizes, 0, 0);
        d.Finish();
        return r;
    }

    int64_t TimeOf(const std::string& text, size_t* index = nullptr) const {
        const auto messages = window.Messages();
        for (size_t i = 0; i < messages.size(); ++i)
            if (messages[i].msg == WM_UPDATE_PROGRESS && messages[i].progress.m_strText == text) {
                if (index) *index = i;
                return messages[i].atMs;
            }
        return -1;
    }

    rtq::VirtualClock clock;
    rtq::ScopedClock scopedClock{clock};
    rtq::sim::SimPrinter printer;
    FakeUsbBackend fake;
    ScopedUsbBackend scopedBackend{fake};
    RecordingNotifyWindow window;
    TempFolder dir;
    CFlashDownloader d;
};

}  // namespace rtq::test
