#include "cli/progress_window.h"

#include "cli/interrupt.h"
#include "engine/flash_downloader.h"
#include "platform/last_error.h"
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
    // The workers go while everything they may call still lives.
    m_calls.Close();
    m_run.Release();
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

void CliProgressWindow::OpenProgress(bool cancelEnabled) {
    m_cancel = cancelEnabled ? kCancelOffered : kCancelNone;
    m_progressOpened = true;
}

void CliProgressWindow::CloseProgress() {
    // The run is over: a request it took has been counted.
    m_cancel = kCancelNone;
    m_progressOpened = false;
    EndLine();
}

void CliProgressWindow::DisableProgressCancel() {
    // The request may still be between taking the offer and raising the
    // flag (Windows calls it on a thread of its own): raised here too, so
    // the run stops before its next write, as it must once a request won.
    if (m_cancel.exchange(kCancelNone) == kCancelTaken) g_bCancelled = 1;
}

int CliProgressWindow::RunUntilSendEnded() {
    m_calls.RunUntil([&] { return !m_run.m_pSendUSBThread; });
    m_run.m_usbReplies.Release();
    return m_downloadResult;
}

LRESULT CliProgressWindow::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_DOWNLOAD_DONE: {
            m_downloadResult = static_cast<int>(lParam);
            // The cause was seen on the worker's thread.
            const std::unique_ptr<CFlashDownloader> finished = m_run.TakeFinishedDownloader();
            if (finished) rtq::SetLastError(finished->ResultCause());
            return 1;
        }
        case WM_ENABLE_CONTROLS:
            return 1;
        default:
            return m_run.OnRunMessage(msg, wParam, lParam, EndRequested()) ? 1 : 0;
    }
}

}  // namespace rtq::cli
