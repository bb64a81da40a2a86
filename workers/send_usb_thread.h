#pragma once
// Runs one USB download: waits for its parameters, calls DownloadUsb and
// Finish, posts the result, and then tells the owner it has ended.
// Parameters that do not come within kParametersWaitMs after the first
// pause end the thread without a run; if they come after that, SetParameters
// closes the run and posts its end itself, so the owner never waits for a
// result that will not come.

#include <atomic>
#include <condition_variable>
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

    // Stores the values; the thread takes them after its first pause, or
    // as soon as they come after it. When the thread has given up waiting,
    // finishes the downloader and posts WM_DOWNLOAD_DONE (-1),
    // WM_ENABLE_CONTROLS (1) and WM_SEND_USB_ENDED to the owner instead.
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
    // How long, after the first pause, the thread waits for parameters:
    // they are set right after the constructor, so only a user-interface
    // thread stalled for this long misses it. A minute is the longest
    // silence a run itself tolerates (the printer's longest answer time);
    // a run started later than that would no longer match what the user
    // last saw.
    static constexpr int kParametersWaitMs = 60000;

private:
    // The parameters are written on the user-interface thread while this
    // thread runs; the mutex and the condition hand them over.
    std::mutex m_paramMutex;
    std::condition_variable m_paramCv;
    bool m_bHaveParameters = false;
    bool m_bGaveUp = false;   // the thread ended without parameters
    bool m_bClosing = false;  // the destructor is waiting for the thread
    // What SetParameters stored: the run takes one copy of it.
    struct Parameters {
        CFlashDownloader* pDownloader = nullptr;
        std::string strFile;
        int nFirstSector = 0;
        int bMainFirmware = 0;
        int bIplFirmware = 0;
        int bPinCode = 0;
        int bFriendlyName = 0;
        const int32_t* pSectorMap = nullptr;
    };
    Parameters m_params;

    std::atomic<bool> m_bEndedPosted{false};
};
