#include "cli/progress_window.h"

#include "cli/interrupt.h"
#include "engine/flash_downloader.h"
#include "engine/progress_info.h"
#include "engine/result_codes.h"
#include "platform/messages.h"
#include "ports/port_state.h"

namespace rtq::cli {

CliProgressWindow::CliProgressWindow(ProgressView& view, bool bluetooth)
    : m_view(view), m_bluetooth(bluetooth) {
    // The port reaches the main window for USB reconnections.
    g_pMainDlg.store(this);
}

CliProgressWindow::~CliProgressWindow() {
    INotifyWindow* self = this;
    g_pMainDlg.compare_exchange_strong(self, nullptr);
}

LRESULT CliProgressWindow::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (m_calls.OnOwnerThread()) return Handle(msg, wParam, lParam);
    LRESULT result = 0;
    m_calls.Call([&] { result = Handle(msg, wParam, lParam); });
    return result;
}

void CliProgressWindow::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    m_calls.Post([this, msg, wParam, lParam] { Handle(msg, wParam, lParam); });
}

bool CliProgressWindow::CancelIfOffered() const {
    int offered = kCancelOffered;
    if (!m_cancel.compare_exchange_strong(offered, kCancelTaken)) return false;
    g_bCancelled = 1;
    return true;
}

void CliProgressWindow::EndCancelOffer() {
    // The request may still be between taking the offer and raising the
    // flag (Windows calls it on a thread of its own): raised here too, so
    // the run stops before its next write, as it must once a request won.
    if (m_cancel.exchange(kCancelNone) == kCancelTaken) g_bCancelled = 1;
}

bool CliProgressWindow::ReconnectUsb() {
    CFlashDownloader* downloader = m_pDownloader.load();
    if (!downloader) return false;
    downloader->ClosePort();
    return downloader->ReopenUsb() == kResultSuccess;
}

int CliProgressWindow::RunUntilSendEnded(LPARAM thread) {
    m_calls.RunUntil([&] { return m_sendEnded == thread; });
    m_usbReplies.Release();
    return m_downloadResult;
}

LRESULT CliProgressWindow::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_OPEN_PROGRESS:
            m_cancel = wParam == 1 ? kCancelOffered : kCancelNone;
            m_progressOpened = true;
            // The end was asked for before the run could be cancelled.
            if (EndRequested()) CancelIfOffered();
            return 1;
        case WM_UPDATE_PROGRESS:
            if (lParam != 0) {
                const ProgressInfo* info = reinterpret_cast<const ProgressInfo*>(lParam);
                m_lastText = info->m_strText;
                m_view.Show(info->m_strText, info->m_nRange, info->m_nPos);
            }
            return 1;
        case WM_SET_PROGRESS_RANGE:
            m_view.Show(m_lastText, static_cast<int64_t>(wParam), static_cast<int64_t>(lParam));
            return 1;
        case WM_DISABLE_CANCEL:
            EndCancelOffer();
            return 1;
        case WM_CLOSE_PROGRESS:
            // The run is over: a request it took has been counted.
            m_cancel = kCancelNone;
            m_progressOpened = false;
            EndLine();
            return 1;
        case WM_START_RECV_USB:
            m_usbReplies.StartReceiveThread(static_cast<int>(wParam), this);
            return 1;
        case WM_RECV_USB_ENDED:
            m_usbReplies.OnRecvUsbEnded(lParam);
            return 1;
        case WM_DOWNLOAD_DONE:
            m_downloadResult = static_cast<int>(lParam);
            return 1;
        case WM_SEND_USB_ENDED:
            m_sendEnded = lParam;
            return 1;
        default:
            return 0;
    }
}

}  // namespace rtq::cli
