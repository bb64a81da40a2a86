#pragma once
// The notify window of a command-line run. It owns the run's objects
// (dialog/flash_run.h, as the dialogs do) and is the run's progress view,
// handing every update to the command's ProgressView (lines, a terminal
// line, JSON Lines or nothing). Messages from worker threads (a USB run)
// are handled on the thread that created the window, in RunUntilSendEnded,
// as the dialog's thread handles them.

#include <atomic>
#include <ostream>
#include <string>

#include "cli/progress_view.h"
#include "dialog/flash_run.h"
#include "dialog/run_progress_view.h"
#include "platform/call_queue.h"
#include "platform/notify_window.h"

namespace rtq::cli {

class CliProgressWindow : public INotifyWindow, private IRunProgressView {
public:
    CliProgressWindow(ProgressView& view, bool bluetooth);
    ~CliProgressWindow() override;
    CliProgressWindow(const CliProgressWindow&) = delete;
    CliProgressWindow& operator=(const CliProgressWindow&) = delete;

    LRESULT SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void ResetReceivedUSB() override { m_run.m_usbReplies.m_hEventRecvUSB.Reset(); }
    void SignalReceivedUSB() override { m_run.m_usbReplies.m_hEventRecvUSB.Set(); }
    bool WaitReceivedUSB(int64_t timeoutMs) override {
        return m_run.m_usbReplies.m_hEventRecvUSB.Wait(timeoutMs);
    }
    void KillReceiveUSBThread() override { m_run.m_usbReplies.KillReceiveUSBThread(); }
    bool ReconnectUsb() override { return m_run.ReconnectUsb(); }
    void ReportResult(int code) override { m_lastResult = code; }
    bool IsBluetoothChecked() override { return m_bluetooth; }

    // The run's objects; its download object reports to this window.
    CFlashRun& Run() { return m_run; }

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

    // Creating thread: handles the workers' messages until the run's USB
    // send thread reported its end (WM_SEND_USB_ENDED). Returns the result
    // it posted with WM_DOWNLOAD_DONE (-1 if none), with the cause it saw
    // as this thread's last error, and releases the receive thread still
    // held.
    int RunUntilSendEnded();

private:
    LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);

    // The progress as the run shows it: lines for the view.
    void OpenProgress(bool cancelEnabled) override;
    bool HasProgress() const override { return m_progressOpened.load(); }
    void StopProgress() override {}
    void CloseProgress() override;
    void DestroyProgress() override { CloseProgress(); }
    void SetProgressText(const std::string& text) override { m_lastText = text; }
    void SetProgressRange(int range, int pos) override { m_view.Show(m_lastText, range, pos); }
    void SetProgressStep(int) override {}
    void SetProgressAutoStep(int) override {}
    void DisableProgressCancel() override;
    bool ProgressCancelOffered() const override { return CancelAllowed(); }
    void PressProgressCancel() override { CancelIfOffered(); }

    ProgressView& m_view;
    const bool m_bluetooth;
    // Offered by the run's thread, taken by a request from wherever it
    // comes (a signal handler, Windows' console thread): one atomic, so a
    // request and the end of the offer can never both win.
    enum CancelState : int { kCancelNone, kCancelOffered, kCancelTaken };
    mutable std::atomic<int> m_cancel{kCancelNone};
    std::atomic<bool> m_progressOpened{false};
    std::atomic<int> m_lastResult{-1};
    std::string m_lastText;  // the step a range belongs to

    // Set by the handlers, on the creating thread.
    int m_downloadResult = -1;
    CFlashRun m_run{*this, *this};
    // Last member: goes first, so no queued call outlives what it uses.
    rtq::CallQueue m_calls;
};

}  // namespace rtq::cli
