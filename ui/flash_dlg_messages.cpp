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
#include "ui/control_ids.h"
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

void CFlashDlg::EnableControlsAfterRun(bool e) {
    for (int id : {IDC_SERIAL, IDC_BLUETOOTH, IDC_USB}) EnableControl(id, true);
    m_bBusy = false;

    const bool portLink = m_bSerial || m_bBluetooth;  // neither: USB
    EnableControl(IDC_TYPE, e);
    EnableControl(IDC_PORT, portLink ? e : !e);
    for (int id : {IDC_BAUD, IDC_PARITY, IDC_STOPBITS}) EnableControl(id, m_bSerial ? e : !e);
    EnableControl(IDC_FILE, e);
    EnableControl(IDOK_FLASH, e);
    EnableControl(IDC_EXIT, e);

    EnableControl(IDC_PINCODE, m_bPinCode ? e : !e);
    EnableControl(IDC_BROWSE, m_bPinCode ? !e : e);
    // After the PIN code step: Browse ends up governed by the friendly name.
    EnableControl(IDC_FRIENDLYNAME, m_bFriendlyName ? e : !e);
    EnableControl(IDC_BROWSE, m_bFriendlyName ? !e : e);

    // Locking moved the focus off FLASH NOW (to About); Enter must start the
    // next run, not open About.
    if (e) m_btnFlash->setFocus(Qt::OtherFocusReason);
    EndSessionIfIdle();
}

void CFlashDlg::KillReceiveUSBThread() { m_run.m_usbReplies.KillReceiveUSBThread(); }

bool CFlashDlg::ReconnectUsb() { return m_run.ReconnectUsb(); }
