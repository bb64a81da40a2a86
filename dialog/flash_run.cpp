#include "dialog/flash_run.h"

#include <new>

#include "engine/progress_info.h"
#include "engine/result_codes.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "workers/serial_download_proc.h"

namespace {

// Pause of WM_CLOSE_PROGRESS before the window goes.
constexpr int kCloseProgressPauseMs = 1000;

}  // namespace

SerialDownloadParams SerialParams(const RunPlan& plan) {
    SerialDownloadParams params;
    params.strPort = plan.strPort;
    params.strParity = plan.strParity;
    params.strFilePath = plan.strFilePath;
    params.nStopBits = plan.nStopBits;
    params.nBaud = plan.nBaud;
    params.nFirstSector = plan.nFirstSector;
    params.bMainFirmware = plan.bMainFirmware;
    params.bIplFirmware = plan.bIplFirmware;
    params.pSectorMap = plan.pSectorMap;
    return params;
}

CFlashRun::CFlashRun(INotifyWindow& owner, IRunProgressView& view) : m_owner(owner), m_view(view) {}

CFlashRun::~CFlashRun() { ReleaseWorkers(); }

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
    *params = SerialParams(plan);
    params->pOwner = &m_owner;
    params->pPrinter = pPrinter.get();

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
    m_view.OpenProgress(cancelEnabled);
}

void CFlashRun::CloseTransmitDlg(bool pause) {
    if (!m_view.HasProgress()) return;
    m_view.StopProgress();
    if (pause) rtq::SleepMs(kCloseProgressPauseMs);
    m_view.CloseProgress();
}

bool CFlashRun::CancelOffered() const { return m_view.HasProgress() && m_view.ProgressCancelOffered(); }

void CFlashRun::PressCancel() {
    if (m_view.HasProgress()) m_view.PressProgressCancel();
}

bool CFlashRun::OnRunMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool endAsked) {
    switch (msg) {
        case WM_CLOSE_PROGRESS:
            CloseTransmitDlg(true);
            return true;
        case WM_OPEN_PROGRESS:
            OpenTransmitDlg(wParam != 0);
            // The end was asked for before the run could be cancelled.
            if (endAsked) PressCancel();
            return true;
        case WM_UPDATE_PROGRESS:
            if (m_view.HasProgress() && lParam) {
                const auto* info = reinterpret_cast<const ProgressInfo*>(lParam);
                m_view.SetProgressText(info->m_strText);
                m_view.SetProgressRange(info->m_nRange, info->m_nPos);
                m_view.SetProgressStep(info->m_nStep);
            }
            return true;
        case WM_SET_PROGRESS_RANGE:
            if (m_view.HasProgress())
                m_view.SetProgressRange(static_cast<int>(wParam), static_cast<int>(lParam));
            return true;
        case WM_SET_AUTO_STEP:
            if (m_view.HasProgress()) m_view.SetProgressAutoStep(static_cast<int>(lParam));
            return true;
        case WM_DISABLE_CANCEL:
            if (m_view.HasProgress()) m_view.DisableProgressCancel();
            return true;
        case WM_SEND_USB_ENDED:
            OnSendUsbEnded(lParam);
            return true;
        case WM_RECV_USB_ENDED:
            m_usbReplies.OnRecvUsbEnded(lParam);
            return true;
        case WM_START_RECV_USB:
            m_usbReplies.StartReceiveThread(static_cast<int>(wParam), &m_owner);
            return true;
        default:
            return false;
    }
}

bool CFlashRun::ReconnectUsb() {
    // Runs on the USB send thread, while the run's download object lives.
    CFlashDownloader* printer = pPrinter.get();
    if (!printer) return false;
    printer->ClosePort();
    return printer->ReopenUsb() == kResultSuccess;
}

void CFlashRun::ReleaseWorkers() {
    if (m_pSendUSBThread) {
        m_pSendUSBThread->m_pOwner.store(nullptr);
        if (pPrinter) pPrinter->SetNotifyWindow(nullptr);
        m_pSendUSBThread.reset();
    }
    m_usbReplies.Release();
    ReapEndedRun();
}

void CFlashRun::Release() {
    ReleaseWorkers();
    // No event loop may run any more to close the window later.
    if (m_view.HasProgress()) m_view.DestroyProgress();
}
