#include "workers/send_usb_thread.h"

#include "engine/sector_sizes.h"
#include "platform/clock.h"
#include "platform/messages.h"

CSend_USBThread::CSend_USBThread() {
    m_bAutoDelete = false;
    if (CreateThread(false)) WaitForStart(m_eventStarted);
}

CSend_USBThread::~CSend_USBThread() {
    {
        std::lock_guard<std::mutex> lk(m_paramMutex);
        m_bClosing = true;
    }
    m_paramCv.notify_all();
    EndThread();
    m_pOwner = nullptr;
}

bool CSend_USBThread::InitInstance() {
    m_eventStarted.Set();
    return true;
}

void CSend_USBThread::SetParameters(INotifyWindow* owner,
                                    CFlashDownloader* downloader,
                                    const std::string& strFile,
                                    int nFirstSector, int bMainFirmware,
                                    int bIplFirmware, int bPinCode,
                                    int bFriendlyName,
                                    const int32_t* pSectorMap) {
    bool gaveUp;
    {
        std::lock_guard<std::mutex> lk(m_paramMutex);
        m_pOwner = owner;
        m_params = {downloader, strFile, nFirstSector, bMainFirmware, bIplFirmware,
                    bPinCode, bFriendlyName, pSectorMap ? pSectorMap : g_aSectorSizes};
        m_bHaveParameters = true;
        gaveUp = m_bGaveUp;
    }
    m_paramCv.notify_all();
    if (!gaveUp) return;
    // Too late for the thread: nothing ran, and the device FLASH NOW
    // opened is closed here.
    if (downloader) downloader->Finish();
    if (owner) {
        owner->PostMessage(WM_DOWNLOAD_DONE, 0, -1);
        owner->PostMessage(WM_ENABLE_CONTROLS, 0, 1);
        owner->PostMessage(WM_SEND_USB_ENDED, 0, Number());
    }
}

int CSend_USBThread::Run() {
    rtq::SleepMs(kParametersPauseMs);

    Parameters params;
    {
        std::unique_lock<std::mutex> lk(m_paramMutex);
        const bool have = rtq::ActiveClock().WaitFor(
            m_paramCv, lk, kParametersWaitMs, [this] { return m_bHaveParameters || m_bClosing; });
        if (!have || !m_bHaveParameters) {
            m_bGaveUp = true;
            // Nobody to tell yet: a late SetParameters posts the end.
            m_bEndedPosted = true;
            lk.unlock();
            ExitInstance();
            WaitForQuit();
            return 0;
        }
        params = m_params;
    }

    int result = -1;
    if (CFlashDownloader* downloader = params.pDownloader) {
        result = downloader->DownloadUsb(params.strFile, params.nFirstSector, params.bMainFirmware,
                                         params.bIplFirmware, kLinkUsb, params.pSectorMap,
                                         params.bPinCode, params.bFriendlyName);
        // The result is reported on the owner's thread.
        downloader->KeepResultCause();
        downloader->Finish();
    }

    rtq::SleepMs(kResultPauseMs);
    INotifyWindow* owner = m_pOwner;
    if (owner) {
        owner->PostMessage(WM_DOWNLOAD_DONE, 0, result);
        owner->PostMessage(WM_ENABLE_CONTROLS, 0, 1);
    }

    rtq::SleepMs(kEndedPauseMs);
    ExitInstance();
    // The owner may delete this object as soon as the ended-message is
    // handled; its destructor waits in EndThread until we are through here.
    if (owner) owner->KillReceiveUSBThread();
    WaitForQuit();
    return 0;
}

int CSend_USBThread::ExitInstance() {
    if (!m_bEndedPosted.exchange(true)) {
        if (INotifyWindow* owner = m_pOwner)
            owner->PostMessage(WM_SEND_USB_ENDED, 0, Number());
    }
    return CWinThread::ExitInstance();
}
