#pragma once
// The owner's side of the USB answer path: the one receive thread it
// holds, the reply-complete event the link waits on, and the handling of
// the receive threads' ended-messages. The main dialog and the command
// line's notify window both own one; every call but Kill and the event
// operations is made on the owner's thread.

#include <atomic>
#include <mutex>

#include "platform/event.h"
#include "platform/notify_window.h"
#include "platform/types.h"

class CReceiveUSBThread;

class CUsbReplyPath {
public:
    CUsbReplyPath() = default;
    // Releases a thread still held.
    ~CUsbReplyPath();
    CUsbReplyPath(const CUsbReplyPath&) = delete;
    CUsbReplyPath& operator=(const CUsbReplyPath&) = delete;

    // WM_START_RECV_USB: a new receive thread for `bytes` answer bytes,
    // reporting to owner; a thread still held is stopped and deleted first.
    void StartReceiveThread(int bytes, INotifyWindow* owner);
    // WM_RECV_USB_ENDED with the ended thread's number: the thread held is
    // deleted if it is that one; a late message of an older thread is
    // ignored.
    void OnRecvUsbEnded(LPARAM number);
    // Sets the kill event of the thread held, if any (any thread).
    void KillReceiveUSBThread();
    // The owner goes: the thread held is stopped and deleted without
    // reporting to it any more.
    void Release();

    // Reply-complete event (manual reset), set by the receive thread.
    rtq::Event m_hEventRecvUSB{true};
    std::atomic<CReceiveUSBThread*> m_pReceiveUSBThread{nullptr};

    // Pause after a previous receive thread was deleted.
    static constexpr int kReceiveRestartPauseMs = 1000;

private:
    // Guards m_pReceiveUSBThread against the workers' kill calls while the
    // owner deletes the object.
    std::mutex m_recvThreadMutex;
};
