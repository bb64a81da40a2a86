#pragma once
// The main dialog as the link targets need it, on one thread. Messages are
// handled inline; the USB answer path is served synchronously: a receive
// request only records how many bytes are wanted, and the link's wait for
// the reply-complete event does what the receive thread would do
// meanwhile - wait for the node to become readable, read at most the
// missing bytes into receivedBuffer, and signal once all are in - with the
// time it waits taken from the active clock. A kill stops the collection;
// bytes it already read are gone, as with the thread. Reconnection closes
// and reopens the device through the downloader, as the dialog does.

#include <cstdint>

#include "engine/flash_downloader.h"
#include "platform/notify_window.h"

namespace rtq::fuzz {

class InlineNotifyWindow : public INotifyWindow {
public:
    LRESULT SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void ResetReceivedUSB() override { m_received = false; }
    void SignalReceivedUSB() override { m_received = true; }
    bool WaitReceivedUSB(int64_t timeoutMs) override;
    void KillReceiveUSBThread() override { m_collecting = false; }
    bool ReconnectUsb() override;
    void ReportResult(int code) override;
    bool IsBluetoothChecked() override { return bluetooth; }

    bool bluetooth = false;
    CFlashDownloader* downloader = nullptr;

    // Results the run reported: by WM_DOWNLOAD_DONE or ReportResult.
    int results = 0;
    int lastResult = -1;

private:
    bool m_received = false;
    bool m_collecting = false;
    int m_offset = 0;
    int m_missing = 0;
};

}  // namespace rtq::fuzz
