// The worker-thread messages: the progress dialog, the USB receive and send
// threads, the end of a run and the re-enabling of the controls. Every
// handler runs on the dialog's thread.

#include <memory>

#include <QPushButton>

#include "engine/flash_downloader.h"
#include "engine/progress_info.h"
#include "engine/result_codes.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "dialog/control_ids.h"
#include "ui/flash_dlg.h"
#include "ui/transmit_dlg.h"

LRESULT CFlashDlg::OnWorkerMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    m_vecWorkerMessages.push_back(msg);
    switch (msg) {
        case WM_CLOSE_PROGRESS:
            m_run.CloseTransmitDlg(true);
            return 0;
        case WM_OPEN_PROGRESS:
            m_run.OpenTransmitDlg(wParam != 0);
            // The end was asked for before the run could be cancelled.
            if (m_bEndSession) m_run.PressCancel();
            return 1;
        case WM_UPDATE_PROGRESS:
            if (m_run.m_pTransmitDlg && lParam) {
                const auto* info = reinterpret_cast<const ProgressInfo*>(lParam);
                m_run.m_pTransmitDlg->SetRangePos(info->m_nRange, info->m_nPos);
                m_run.m_pTransmitDlg->SetStatusText(info->m_strText);
                m_run.m_pTransmitDlg->SetStep(info->m_nStep);
            }
            return 1;
        case WM_DOWNLOAD_DONE:
            OnDownloadDone(static_cast<int>(lParam));
            return 1;
        case WM_ENABLE_CONTROLS:
            EnableControlsAfterRun(lParam == 1);
            return 1;
        case WM_SET_PROGRESS_RANGE:
            if (m_run.m_pTransmitDlg)
                m_run.m_pTransmitDlg->SetRangePos(static_cast<int>(wParam), static_cast<int>(lParam));
            return 1;
        case WM_SET_AUTO_STEP:
            if (m_run.m_pTransmitDlg) m_run.m_pTransmitDlg->SetAutoStep(static_cast<int>(lParam));
            return 1;
        case WM_SEND_USB_ENDED:
            m_run.OnSendUsbEnded(lParam);
            return 1;
        case WM_RECV_USB_ENDED:
            m_run.m_usbReplies.OnRecvUsbEnded(lParam);
            return 1;
        case WM_START_RECV_USB:
            m_run.m_usbReplies.StartReceiveThread(static_cast<int>(wParam), this);
            return 1;
        case WM_DISABLE_CANCEL:
            if (m_run.m_pTransmitDlg) m_run.m_pTransmitDlg->EnableCancel(0);
            return 1;
        default:
            return 0;
    }
}

void CFlashDlg::OnDownloadDone(int result) {
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

void CFlashDlg::KillReceiveUSBThread() { m_run.m_usbReplies.KillReceiveUSBThread(); }

bool CFlashDlg::ReconnectUsb() { return m_run.ReconnectUsb(); }
