#pragma once
// The notify window of a command-line run: prints each new step text as
// one line on the error stream and, on a terminal, the percentage of the
// step at the end of that line.

#include <atomic>
#include <ostream>
#include <string>

#include "platform/notify_window.h"

namespace rtq::cli {

class CliProgressWindow : public INotifyWindow {
public:
    CliProgressWindow(std::ostream& err, bool terminal, bool bluetooth);

    LRESULT SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    // A command-line run has no USB receive thread: replies never arrive.
    void ResetReceivedUSB() override {}
    void SignalReceivedUSB() override {}
    bool WaitReceivedUSB(int64_t) override { return false; }
    void KillReceiveUSBThread() override {}
    bool ReconnectUsb() override { return false; }
    void ReportResult(int code) override { m_lastResult = code; }
    bool IsBluetoothChecked() override { return m_bluetooth; }

    // Whether the run may still be cancelled (the progress opened with
    // Cancel enabled and the line check has not passed yet).
    bool CancelAllowed() const { return m_cancelAllowed.load(); }
    int LastResult() const { return m_lastResult.load(); }
    // Ends a percentage line still open on the terminal.
    void EndLine();

private:
    void ShowStep(const std::string& text, int64_t range, int64_t pos);
    void ShowPercent(int64_t range, int64_t pos);

    std::ostream& m_err;
    const bool m_terminal;
    const bool m_bluetooth;
    std::atomic<bool> m_cancelAllowed{false};
    std::atomic<int> m_lastResult{-1};
    std::string m_lastText;
    bool m_lineOpen = false;
    int m_lastPercent = -1;
};

}  // namespace rtq::cli
