// The worker-thread messages: the progress window, the USB receive and
// send threads, the end of a run and the re-enabling of the controls.
// Every handler runs on the dialog's thread.

#include <memory>

#include "dialog/flash_dlg_core.h"
#include "engine/flash_downloader.h"
#include "engine/result_codes.h"
#include "platform/last_error.h"
#include "platform/messages.h"
#include "ports/port_state.h"

LRESULT CFlashDlgCore::OnWorkerMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    m_vecWorkerMessages.push_back(msg);
    switch (msg) {
        case WM_DOWNLOAD_DONE:
            OnDownloadDone(static_cast<int>(lParam));
            return 1;
        case WM_ENABLE_CONTROLS:
            EnableControlsAfterRun(lParam == 1);
            return 1;
        default:
            if (!m_run.OnRunMessage(msg, wParam, lParam, m_bEndSession)) return 0;
            return msg == WM_CLOSE_PROGRESS ? 0 : 1;
    }
}

void CFlashDlgCore::OnDownloadDone(int result) {
    // The run's download object is this handler's from here on, so that
    // nothing done while the result box is open can reach it.
    const std::unique_ptr<CFlashDownloader> finished = m_run.TakeFinishedDownloader();
    if (g_bUsbLink.load()) m_run.CloseTransmitDlg(false);
    // The cause was seen on the worker's thread.
    if (finished) rtq::SetLastError(finished->ResultCause());

    ReportResult(g_bCancelled.load() ? kResultCancelled : result);
    // The flag belongs to the run just reported.
    g_bCancelled.store(0);
}

LRESULT CFlashDlgCore::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // On the dialog's own thread the call is direct; a queued call that
    // waited for this thread would wait for ever.
    if (View().OnDialogThread()) return OnWorkerMessage(msg, wParam, lParam);
    LRESULT result = 0;
    View().CallOnDialogThread([&] { result = OnWorkerMessage(msg, wParam, lParam); });
    return result;
}

void CFlashDlgCore::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    View().PostToDialogThread([this, msg, wParam, lParam] { OnWorkerMessage(msg, wParam, lParam); });
}

void CFlashDlgCore::ResetReceivedUSB() { m_run.m_usbReplies.m_hEventRecvUSB.Reset(); }

void CFlashDlgCore::SignalReceivedUSB() { m_run.m_usbReplies.m_hEventRecvUSB.Set(); }

bool CFlashDlgCore::WaitReceivedUSB(int64_t timeoutMs) {
    return m_run.m_usbReplies.m_hEventRecvUSB.Wait(timeoutMs);
}

void CFlashDlgCore::KillReceiveUSBThread() { m_run.m_usbReplies.KillReceiveUSBThread(); }

bool CFlashDlgCore::ReconnectUsb() { return m_run.ReconnectUsb(); }
