#pragma once
// The objects of a download run and their lifetimes: the download object,
// the worker thread (the serial procedure's or the USB send thread), the
// USB answer path and the progress window. The main dialog owns one for
// its whole life, FLASH NOW fills it and the worker messages empty it; the
// command line drives one the same way. Every call is made on the owner's
// thread, except ReconnectUsb (the USB send thread) and the answer path's
// event and kill operations.

#include <memory>
#include <string>

#include "engine/flash_downloader.h"
#include "platform/notify_window.h"
#include "workers/send_usb_thread.h"
#include "workers/serial_download_proc.h"
#include "workers/usb_reply_path.h"
#include "workers/win_thread.h"

#include "dialog/run_progress_view.h"

// What a run writes, as FLASH NOW decided it.
struct RunPlan {
    std::string strFilePath;
    std::string strPort;    // serial: device path, "\\.\COMn"
    std::string strParity;  // serial
    int nStopBits = 1;
    int nBaud = 0;
    int nFirstSector = 0;
    bool bMainFirmware = false;
    bool bIplFirmware = false;
    bool bPinCode = false;
    bool bFriendlyName = false;
    const int32_t* pSectorMap = nullptr;
};

// The serial procedure's parameters for the plan (no owner or printer yet).
SerialDownloadParams SerialParams(const RunPlan& plan);

class CFlashRun {
public:
    // owner receives the workers' messages; view shows the progress.
    CFlashRun(INotifyWindow& owner, IRunProgressView& view);
    // The workers' part of Release(); the progress window must be gone.
    ~CFlashRun();
    CFlashRun(const CFlashRun&) = delete;
    CFlashRun& operator=(const CFlashRun&) = delete;

    // FLASH NOW: the new run's download object. False when out of memory.
    bool CreateDownloader();
    // Deletes the download object, closing a USB device it opened.
    void DiscardDownloader();
    // What a serial run that failed in its set-up left behind: its ended
    // thread and its download object.
    void ReapEndedRun();

    // Starts the USB send thread with the plan; false when out of memory.
    bool StartSendThread(const RunPlan& plan);
    // Starts the serial procedure's thread with the plan; false when it
    // cannot start.
    bool StartSerialThread(const RunPlan& plan);

    // WM_DOWNLOAD_DONE: the serial thread is joined and deleted, and the
    // download object handed over (the caller deletes it once reported).
    std::unique_ptr<CFlashDownloader> TakeFinishedDownloader();
    // WM_SEND_USB_ENDED: the send thread held is deleted if it is the one
    // numbered `number`.
    void OnSendUsbEnded(LPARAM number);

    // The progress window: a new one (the last one closed first), and its
    // end, after a second's pause if asked.
    void OpenTransmitDlg(bool cancelEnabled);
    void CloseTransmitDlg(bool pause);
    // The open progress window offers Cancel.
    bool CancelOffered() const;
    // Presses the open progress window's Cancel, if it offers it.
    void PressCancel();

    // The workers' messages about the progress and the USB threads, on the
    // owner's thread; false for any other message (the run's end and the
    // controls are the owner's). endAsked: the owner is asked to end, so a
    // progress that opens with Cancel is cancelled at once.
    bool OnRunMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool endAsked);

    // USB send thread: reopens the run's printer after a restart.
    bool ReconnectUsb();

    // The dialog goes (called while its view lives): no worker may reach
    // it any more, and every object of the run is deleted before this
    // returns.
    void Release();

    // Objects of the current run. pPrinter changes only on the dialog's
    // thread while no worker of the run uses it.
    std::unique_ptr<CFlashDownloader> pPrinter;
    std::unique_ptr<CWinThread> pThread;
    std::unique_ptr<CSend_USBThread> m_pSendUSBThread;
    // The receive thread and the reply-complete event of the USB link.
    CUsbReplyPath m_usbReplies;

private:
    void ReleaseWorkers();

    INotifyWindow& m_owner;
    IRunProgressView& m_view;
};
