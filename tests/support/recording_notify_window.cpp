#include "tests/support/recording_notify_window.h"

#include "platform/clock.h"
#include "platform/messages.h"

namespace rtq::test {

void RecordingNotifyWindow::Record(UINT msg, WPARAM wParam, LPARAM lParam,
                                   bool posted) {
    RecordedMessage m;
    m.msg = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.posted = posted;
    m.atMs = rtq::NowMs();
    if (msg == WM_UPDATE_PROGRESS && lParam != 0)
        m.progress = *reinterpret_cast<const ProgressInfo*>(lParam);
    std::lock_guard<std::mutex> lk(m_mutex);
    m_messages.push_back(m);
}

LRESULT RecordingNotifyWindow::SendMessage(UINT msg, WPARAM wParam,
                                           LPARAM lParam) {
    Record(msg, wParam, lParam, false);
    return onSend ? onSend(msg, wParam, lParam) : 1;
}

void RecordingNotifyWindow::PostMessage(UINT msg, WPARAM wParam,
                                        LPARAM lParam) {
    Record(msg, wParam, lParam, true);
}

void RecordingNotifyWindow::ResetReceivedUSB() { received.Reset(); }
void RecordingNotifyWindow::SignalReceivedUSB() { received.Set(); }
bool RecordingNotifyWindow::WaitReceivedUSB(int64_t timeoutMs) {
    return received.Wait(timeoutMs);
}

void RecordingNotifyWindow::KillReceiveUSBThread() {
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        ++m_killCalls;
    }
    if (onKill) onKill();
}

bool RecordingNotifyWindow::ReconnectUsb() {
    std::lock_guard<std::mutex> lk(m_mutex);
    ++m_reconnectCalls;
    return reconnectResult;
}

void RecordingNotifyWindow::ReportResult(int code) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_reported.push_back(code);
}

bool RecordingNotifyWindow::IsBluetoothChecked() { return bluetoothChecked; }

std::vector<RecordedMessage> RecordingNotifyWindow::Messages() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_messages;
}

std::vector<UINT> RecordingNotifyWindow::Codes() const {
    std::vector<UINT> codes;
    for (const RecordedMessage& m : Messages()) codes.push_back(m.msg);
    return codes;
}

std::vector<ProgressInfo> RecordingNotifyWindow::Progress() const {
    std::vector<ProgressInfo> out;
    for (const RecordedMessage& m : Messages())
        if (m.msg == WM_UPDATE_PROGRESS) out.push_back(m.progress);
    return out;
}

std::vector<int> RecordingNotifyWindow::Reported() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_reported;
}

int RecordingNotifyWindow::killCalls() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_killCalls;
}

int RecordingNotifyWindow::reconnectCalls() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_reconnectCalls;
}

void RecordingNotifyWindow::Clear() {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_messages.clear();
    m_reported.clear();
    m_killCalls = 0;
    m_reconnectCalls = 0;
}

}  // namespace rtq::test
