#pragma once
// Collects one reply of an exact length from the USB printer into
// receivedBuffer and tells the owner when the last byte is in. The
// protocol asks the main dialog for one of these per reply and stops it
// through m_hEventKill once it has the reply or its deadline passed.

#include <atomic>

#include "platform/event.h"
#include "platform/notify_window.h"
#include "workers/win_thread.h"

class CReceiveUSBThread : public CWinThread {
public:
    // Starts the thread, waits until it has passed InitInstance and raises
    // it to time-critical priority. bytes2BeReceived must be 1 to 300; any
    // other count ends the thread at once without reading or signalling.
    CReceiveUSBThread(int bytes2BeReceived, INotifyWindow* owner);

    // Ends the thread: a thread still collecting is stopped as if killed,
    // so deleting it never hangs.
    ~CReceiveUSBThread() override;
    bool InitInstance() override;
    int Run() override;
    // Posts WM_RECV_USB_ENDED to the owner, once per thread, with lParam =
    // this object's Number(), so that the owner can tell a late message of
    // an older thread from its current one.
    int ExitInstance() override;

    // Sets m_hEventKill (from any thread).
    void Kill();

    // Manual reset, clear at start; the work loop ends when it finds it set.
    rtq::Event m_hEventKill{true, false};
    // Auto reset, clear at start; set by InitInstance.
    rtq::Event m_eventStarted{false, false};
    std::atomic<INotifyWindow*> m_pOwner;
    const int bytes2BeReceived;

    // Pause before the first read and between reads; also the longest a
    // pending read goes without a look at the kill event.
    static constexpr int kPollMs = 50;

private:
    // Collects the reply; true when all bytes are in.
    bool Collect();
    bool Stopping();

    std::atomic<bool> m_bEndedPosted{false};
};
