#include "ui/flash_run.h"

#include <new>

#include "engine/result_codes.h"
#include "platform/clock.h"
#include "ports/port_state.h"
#include "ui/transmit_dlg.h"
#include "workers/serial_download_proc.h"

namespace {

// Pause of WM_CLOSE_PROGRESS before the window goes.
constexpr int kCloseProgressPauseMs = 1000;

}  // namespace

CFlashRun::CFlashRun(INotifyWindow& owner, QWidget& window) : m_owner(owner), m_window(window) {}

CFlashRun::~CFlashRun() { Release(); }

bool CFlashRun::CreateDownloader() {
    pPrinter.reset(new (std::nothrow) CFlashDownloader);
    return pPrinter != nullptr;
}

void CFlashRun::DiscardDownloader() {
    std::unique_ptr<CFlashDownloader> printer = std::move(pPrinter);
    if (!printer || !g_bUsbLink.load()) return;
    const HANDLE usb = g_hUsbDevice.load();
    if (usb != INVALID_HANDLE_VALUE && usb != 0) {
        printer->ClosePort();
        g_hUsbDevice.store(INVALID_HANDLE_VALUE);
    }
}

void CFlashRun::ReapEndedRun() {
    pThread.reset();  // waits for the thread's end
    DiscardDownloader();
}

bool CFlashRun::StartSendThread(const RunPlan& plan) {
    m_pSendUSBThread.reset(new (std::nothrow) CSend_USBThread);
    if (!m_pSendUSBThread) return false;
    m_pSendUSBThread->SetParameters(&m_owner, pPrinter.get(), plan.strFilePath, plan.nFirstSector,
                                    plan.bMainFirmware, plan.bIplFirmware, plan.bPinCode,
                                    plan.bFriendlyName, plan.pSectorMap);
    return true;
}

bool CFlashRun::StartSerialThread(const RunPlan& plan) {
    auto params = std::unique_ptr<SerialDownloadParams>(new (std::nothrow) SerialDownloadParams);
    if (!params) return false;
    params->pOwner = &m_owner;
    params->pPrinter = pPrinter.get();
    params->strPort = plan.strPort;
    params->strParity = plan.strParity;
    params->strFilePath = plan.strFilePath;
    params->nStopBits = plan.nStopBits;
    params->nBaud = plan.nBaud;
    params->nFirstSector = plan.nFirstSector;
    params->bMainFirmware = plan.bMainFirmware;
    params->bIplFirmware = plan.bIplFirmware;
    params->pSectorMap = plan.pSectorMap;

    // The procedure frees the parameters once it runs.
    pThread.reset(AfxBeginThread(SerialDownloadProc, params.get(), THREAD_PRIORITY_ABOVE_NORMAL, true));
    if (!pThread) return false;
    params.release();
    pPrinter->SetNotifyWindow(&m_owner);
    pThread->ResumeThread();
    return true;
}

std::unique_ptr<CFlashDownloader> CFlashRun::TakeFinishedDownloader() {
    // The worker has posted its last message; its end is moments away.
    pThread.reset();
    return std::move(pPrinter);
}

void CFlashRun::OnSendUsbEnded(LPARAM number) {
    // Only the thread that ended: a late message never takes a newer one.
    if (m_pSendUSBThread && m_pSendUSBThread->Number() == number)
        m_pSendUSBThread.reset();  // waits for the thread's end
}

void CFlashRun::OpenTransmitDlg(bool cancelEnabled) {
    // Every run closes its window before the next opens one; a window left
    // over would only lose its refresher.
    CloseTransmitDlg(false);
    // Owned by the dialog, so that the dialog's modality leaves it its
    // input (Cancel, Esc) and the window manager keeps it above.
    m_pTransmitDlg = new CTransmitDlg(&m_window);
    m_pTransmitDlg->Open(cancelEnabled);
}

void CFlashRun::CloseTransmitDlg(bool pause) {
    CTransmitDlg* dlg = m_pTransmitDlg;
    if (!dlg) return;
    dlg->SetStop(1);
    if (pause) rtq::SleepMs(kCloseProgressPauseMs);
    m_pTransmitDlg.clear();
    // Joins the refresher, then the object deletes itself.
    dlg->Close();
}

bool CFlashRun::CancelOffered() const { return m_pTransmitDlg && m_pTransmitDlg->IsCancelEnabled(); }

void CFlashRun::PressCancel() {
    if (m_pTransmitDlg) m_pTransmitDlg->CancelIfOffered();
}

bool CFlashRun::ReconnectUsb() {
    // Runs on the USB send thread, while the run's download object lives.
    CFlashDownloader* printer = pPrinter.get();
    if (!printer) return false;
    printer->ClosePort();
    return printer->ReopenUsb() == kResultSuccess;
}

void CFlashRun::Release() {
    if (m_pSendUSBThread) {
        m_pSendUSBThread->m_pOwner.store(nullptr);
        if (pPrinter) pPrinter->SetNotifyWindow(nullptr);
        m_pSendUSBThread.reset();
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
