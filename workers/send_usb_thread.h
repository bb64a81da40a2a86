#pragma once
// Runs one USB download: waits for its parameters, calls DownloadUsb and
// Finish, posts the result, and then tells the owner it has ended.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/flash_downloader.h"
#include "platform/event.h"
#include "platform/notify_window.h"
#include "workers/win_thread.h"

class CSend_USBThread : public CWinThread {
public:
    // Starts the thread at once and waits until it has passed InitInstance.
    CSend_USBThread();

    ~CSend_USBThread() override;
    bool InitInstance() override;
    int Run() override;
    // Posts WM_SEND_USB_ENDED to the owner, once per thread, with lParam =
    // this object's Number().
    int ExitInstance() override;

    // Only stores the values; the thread reads them after its first pause.
    // pSectorMap is the sector-size table the run uses.
    void SetParameters(INotifyWindow* owner, CFlashDownloader* downloader,
                       const std::string& strFile, int nFirstSector,
                       int bMainFirmware, int bIplFirmware, int bPinCode,
                       int bFriendlyName,
                       const int32_t* pSectorMap = nullptr);

    // Manual reset, clear at start.
    rtq::Event m_hEventKill{true, false};
    // Auto reset, clear at start; set by InitInstance.
    rtq::Event m_eventStarted{false, false};
    std::atomic<INotifyWindow*> m_pOwner{nullptr};

    // Pauses of the run, in milliseconds.
    static constexpr int kParametersPauseMs = 2000;
    static constexpr int kResultPauseMs = 500;
    static constexpr int kEndedPauseMs = 1000;

private:
    // The parameters are written on the user-interface thread while this
    // thread runs; the mutex hands them over.
    std::mutex m_paramMutex;
    CFlashDownloader* m_pDownloader = nullptr;
    std::string m_strFile;
    int m_nFirstSector = 0;
    int m_bMainFirmware = 0;
    int m_bIplFirmware = 0;
    int m_bPinCode = 0;
    int m_bFriendlyName = 0;
    const int32_t* m_pSectorMap = nullptr;

    std::atomic<bool> m_bEndedPosted{false};
};
