#pragma once
// The notify window of a command-line run: hands every progress update to
// the run's view (lines, a terminal line, JSON Lines or nothing). Messages
// from worker threads (a USB run) are handled on the thread that created
// the window, in RunUntilSendEnded, as the dialog's thread handles them.

#include <atomic>
#include <ostream>
#include <string>

#include "cli/progress_view.h"
#include "platform/call_queue.h"
#include "platform/notify_window.h"
#include "workers/usb_reply_path.h"

class CFlashDownloader;

namespace rtq::cli {

class CliProgressWindow : public INotifyWindow {
public:
    CliProgressWindow(ProgressView& view, bool bluetooth);
    ~CliProgressWindow() override;
    CliProgressWindow(const CliProgressWindow&) = delete;
    CliProgressWindow& operator=(const CliProgressWindow&) = delete;

    LRESULT SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void ResetReceivedUSB() override { m_usbReplies.m_hEventRecvUSB.Reset(); }
    void SignalReceivedUSB() override { m_usbReplies.m_hEventRecvUSB.Set(); }
    bool WaitReceivedUSB(int64_t timeoutMs) override {
        return m_usbReplies.m_hEventRecvUSB.Wait(timeoutMs);
    }
    void KillReceiveUSBThread() override { m_usbReplies.KillReceiveUSBThread(); }
    // Reopens the USB device of the run's download object (set with
    // SetDownloader); false without one.
    bool ReconnectUsb() override;
    void ReportResult(int code) override { m_lastResult = code; }
    bool IsBluetoothChecked() override { return m_bluetooth; }

    // Whether the run may still be cancelled (the progress opened with
    // Cancel enabled and the line check has not passed yet).
    bool CancelAllowed() const { return m_cancel.load() == kCancelOffered; }
    // Cancels the run if it may still be cancelled, as the Cancel button
    // would; async-signal-safe.
    bool CancelIfOffered() const;
    // Whether the run's progress has opened (and not closed again).
    bool ProgressOpened() const { return m_progressOpened.load(); }
    int LastResult() const { return m_lastResult.load(); }
    // Ends a progress line still open on the terminal.
    void EndLine() { m_view.End(); }

    void SetDownloader(CFlashDownloader* downloader) { m_pDownloader.store(downloader); }
    // Creating thread: handles the workers' messages until the USB send
    // thread numbered `thread` reported its end (WM_SEND_USB_ENDED). Returns the
    // result it posted with WM_DOWNLOAD_DONE (-1 if none), and releases the
    // receive thread still held.
    int RunUntilSendEnded(LPARAM thread);

private:
    LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
    ProgressView& m_view;
    const bool m_bluetooth;
    // Offered by the run's thread, taken by a request from wherever it
    // comes (a signal handler, Windows' console thread): one atomic, so a
    // request and the end of the offer can never both win.
    enum CancelState : int { kCancelNone, kCancelOffered, kCancelTaken };
    mutable std::atomic<int> m_cancel{kCancelNone};
    // Ends the offer; a request that took it first cancels the run.
    void EndCancelOffer();
    std::atomic<bool> m_progressOpened{false};
    std::atomic<int> m_lastResult{-1};
    std::string m_lastText;  // the step a WM_SET_PROGRESS_RANGE belongs to

    std::atomic<CFlashDownloader*> m_pDownloader{nullptr};
    CUsbReplyPath m_usbReplies;
    // Set by the handlers, on the creating thread.
    LPARAM m_sendEnded = 0;
    int m_downloadResult = -1;
    // Last member: goes first, so no queued call outlives what it uses.
    rtq::CallQueue m_calls;
};

}  // namespace rtq::cli
