#pragma once
// How the engine, the link and the workers reach the main dialog: messages
// (sent = the handler has run on the user-interface thread before
// SendMessage returns; posted = queued) and the few direct calls.

#include <cstdint>

#include "platform/types.h"

class INotifyWindow {
public:
    virtual ~INotifyWindow() = default;

    virtual LRESULT SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;
    virtual void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) = 0;

    // The reply-complete event of the USB receive thread (m_hEventRecvUSB).
    virtual void ResetReceivedUSB() = 0;
    virtual void SignalReceivedUSB() = 0;
    // Waits up to timeoutMs (0: only tests) for the event; true when set.
    virtual bool WaitReceivedUSB(int64_t timeoutMs) = 0;
    // Sets the kill event of the receive thread the dialog holds, if any.
    virtual void KillReceiveUSBThread() = 0;

    // Closes and reopens the USB device; true only if every step succeeded.
    virtual bool ReconnectUsb() = 0;
    // Shows the result message and records the code (user-interface
    // thread; a worker's call is carried over to it and waits).
    virtual void ReportResult(int code) = 0;
    // Check state of the "Bluetooth" option button (control 1042).
    virtual bool IsBluetoothChecked() = 0;
};
