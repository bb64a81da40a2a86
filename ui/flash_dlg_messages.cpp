// The worker-thread messages: the progress dialog, the USB receive and send
// threads, the end of a run and the re-enabling of the controls. Every
// handler runs on the dialog's thread.

#include <memory>

#include <QPushButton>

#include "engine/flash_downloader.h"
#include "engine/progress_info.h"
#include "engine/result_codes.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "ui/control_ids.h"
#include "ui/flash_dlg.h"
#include "ui/transmit_dlg.h"
#include "workers/send_usb_thread.h"
#include "workers/win_thread.h"

namespace {

// Pause of WM_CLOSE_PROGRESS before the window goes.
constexpr int kCloseProgressPauseMs = 1000;

}  // namespace

LRESULT CFlashDlg::OnWorkerMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    m_vecWorkerMessages.push_back(msg);
    switch (msg) {
        case WM_CLOSE_PROGRESS:
            CloseTransmitDlg(true);
            return 0;
        case WM_OPEN_PROGRESS:
            OpenTransmitDlg(wParam != 0);
            return 1;
        case WM_UPDATE_PROGRESS:
            if (m_pTransmitDlg && lParam) {
                const auto* info = reinterpret_cast<const ProgressInfo*>(lParam);
                m_pTransmitDlg->SetRangePos(info->m_nRange, info->m_nPos);
                m_pTransmitDlg->SetStatusText(info->m_strText);
                m_pTransmitDlg->SetStep(info->m_nStep);
            }
            return 1;
        case WM_DOWNLOAD_DONE:
            OnDownloadDone(static_cast<int>(lParam));
            return 1;
        case WM_ENABLE_CONTROLS:
            EnableControlsAfterRun(lParam == 1);
            return 1;
        case WM_SET_PROGRESS_RANGE:
            if (m_pTransmitDlg)
                m_pTransmitDlg->SetRangePos(static_cast<int>(wParam), static_cast<int>(lParam));
            return 1;
        case WM_SET_AUTO_STEP:
            if (m_pTransmitDlg) m_pTransmitDlg->SetAutoStep(static_cast<int>(lParam));
            return 1;
        case WM_SEND_USB_ENDED:
            OnSendUsbEnded(lParam);
            return 1;
        case WM_RECV_USB_ENDED:
            m_usbReplies.OnRecvUsbEnded(lParam);
            return 1;
        case WM_START_RECV_USB:
            m_usbReplies.StartReceiveThread(static_cast<int>(wParam), this);
            return 1;
        case WM_DISABLE_CANCEL:
            if (m_pTransmitDlg) m_pTransmitDlg->EnableCancel(0);
            return 1;
        default:
            return 0;
    }
}

void CFlashDlg::OpenTransmitDlg(bool cancelEnabled) {
    // Every run closes its window before the next opens one; a window left
    // over would only lose its refresher.
    CloseTransmitDlg(false);
    // Owned by this dialog, so that this dialog's modality leaves it its
    // input (Cancel, Esc) and the window manager keeps it above.
    m_pTransmitDlg = new CTransmitDlg(this);
    m_pTransmitDlg->Open(cancelEnabled);
}

void CFlashDlg::CloseTransmitDlg(bool pause) {
    CTransmitDlg* dlg = m_pTransmitDlg;
    if (!dlg) return;
    dlg->SetStop(1);
    if (pause) rtq::SleepMs(kCloseProgressPauseMs);
    m_pTransmitDlg.clear();
    // Joins the refresher, then the object deletes itself.
    dlg->Close();
}

void CFlashDlg::OnDownloadDone(int result) {
    // The worker has posted its last message; its end is moments away.
    if (pThread) {
        CWinThread* thread = pThread;
        pThread = nullptr;
        delete thread;  // waits for the thread's end
    }
    if (g_bUsbLink.load()) CloseTransmitDlg(false);

    // The run's download object is this handler's from here on, so that
    // nothing done while the result box is open can reach it.
    std::unique_ptr<CFlashDownloader> finished(pPrinter);
    pPrinter = nullptr;

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
}

void CFlashDlg::OnSendUsbEnded(LPARAM thread) {
    CSend_USBThread* held = m_pSendUSBThread.load();
    // Only the thread that ended: a late message never takes a newer one.
    if (!held || reinterpret_cast<LPARAM>(held) != thread) return;
    m_pSendUSBThread.store(nullptr);
    delete held;  // waits for the thread's end
}

void CFlashDlg::KillReceiveUSBThread() { m_usbReplies.KillReceiveUSBThread(); }

void CFlashDlg::ReapEndedRun() {
    if (pThread) {
        CWinThread* thread = pThread;
        pThread = nullptr;
        delete thread;
    }
    DiscardDownloader();
}

void CFlashDlg::ReleaseRunObjects() {
    // The dialog goes: no worker may reach it any more.
    if (CSend_USBThread* send = m_pSendUSBThread.exchange(nullptr)) {
        send->m_pOwner.store(nullptr);
        if (pPrinter) pPrinter->SetNotifyWindow(nullptr);
        delete send;
    }
    m_usbReplies.Release();
    ReapEndedRun();
    if (CTransmitDlg* dlg = m_pTransmitDlg) {
        m_pTransmitDlg.clear();
        dlg->Close();
        // No event loop may run any more to carry out its own deletion.
        delete dlg;
    }
}
