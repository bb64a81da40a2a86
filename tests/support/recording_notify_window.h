#pragma once
// A notify window for tests: runs every handler inline on the calling
// thread and keeps the message sequence for assertions.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/progress_info.h"
#include "platform/event.h"
#include "platform/notify_window.h"

namespace rtq::test {

struct RecordedMessage {
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool posted = false;
    int64_t atMs = 0;          // active clock when it arrived
    ProgressInfo progress;     // copy of the record for WM_UPDATE_PROGRESS
};

class RecordingNotifyWindow : public INotifyWindow {
public:
    LRESULT SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void ResetReceivedUSB() override;
    void SignalReceivedUSB() override;
    bool WaitReceivedUSB(int64_t timeoutMs) override;
    void KillReceiveUSBThread() override;
    bool ReconnectUsb() override;
    void ReportResult(int code) override;
    bool IsBluetoothChecked() override;

    // Settings and hooks a test may change.
    bool bluetoothChecked = false;
    bool reconnectResult = false;
    std::function<LRESULT(UINT, WPARAM, LPARAM)> onSend;  // extra handler
    std::function<void()> onKill;

    // What arrived.
    std::vector<RecordedMessage> Messages() const;
    std::vector<UINT> Codes() const;
    // The WM_UPDATE_PROGRESS records in order.
    std::vector<ProgressInfo> Progress() const;
    std::vector<int> Reported() const;
    int killCalls() const;
    int reconnectCalls() const;
    void Clear();

    rtq::Event received{true, false};

private:
    void Record(UINT msg, WPARAM wParam, LPARAM lParam, bool posted);

    mutable std::mutex m_mutex;
    std::vector<RecordedMessage> m_messages;
    std::vector<int> m_reported;
    int m_killCalls = 0;
    int m_reconnectCalls = 0;
};

}  // namespace rtq::test
