#include "tests/fuzz/inline_notify_window.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "engine/result_codes.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "ports/usb_backend.h"

namespace rtq::fuzz {

LRESULT InlineNotifyWindow::SendMessage(UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_START_RECV_USB) {
        const int bytes = static_cast<int>(wParam);
        // The receive thread ends at once on a count the buffer cannot hold.
        m_collecting = bytes >= 1 && bytes <= kReceivedBufferSize;
        m_offset = 0;
        m_missing = bytes;
    }
    return 1;
}

void InlineNotifyWindow::PostMessage(UINT msg, WPARAM, LPARAM lParam) {
    if (msg == WM_DOWNLOAD_DONE) ReportResult(static_cast<int>(lParam));
}

void InlineNotifyWindow::ReportResult(int code) {
    ++results;
    lastResult = code;
}

bool InlineNotifyWindow::WaitReceivedUSB(int64_t timeoutMs) {
    const int64_t end = rtq::NowMs() + std::max<int64_t>(timeoutMs, 0);
    while (!m_received && m_collecting) {
        const HANDLE device = g_hUsbDevice.load();
        if (device == INVALID_HANDLE_VALUE || device == 0) {
            m_collecting = false;
            break;
        }
        const int64_t left = end - rtq::NowMs();
        if (left <= 0) break;
        if (!rtq::UsbBackend().WaitReadable(device, left)) break;
        uint8_t local[kReceivedBufferSize];
        size_t got = 0;
        bool ok;
        {
            std::lock_guard<std::mutex> lk(g_portMutex);
            ok = rtq::UsbBackend().Read(device, local, static_cast<size_t>(m_missing), &got);
        }
        if (!ok) {
            m_collecting = false;
            break;
        }
        got = std::min(got, static_cast<size_t>(m_missing));
        std::memcpy(receivedBuffer + m_offset, local, got);
        m_offset += static_cast<int>(got);
        m_missing -= static_cast<int>(got);
        if (m_missing == 0) {
            m_collecting = false;
            SignalReceivedUSB();
        }
    }
    // An event that is never set is waited on to the end.
    if (!m_received) rtq::SleepMs(end - rtq::NowMs());
    return m_received;
}

bool InlineNotifyWindow::ReconnectUsb() {
    if (!downloader) return false;
    downloader->ClosePort();
    return downloader->ReopenUsb() == kResultSuccess;
}

}  // namespace rtq::fuzz
