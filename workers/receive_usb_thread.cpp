#include "workers/receive_usb_thread.h"

#include <cstring>
#include <mutex>

#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "ports/usb_backend.h"

CReceiveUSBThread::CReceiveUSBThread(int bytes2BeReceived,
                                     INotifyWindow* owner)
    : m_pOwner(owner), bytes2BeReceived(bytes2BeReceived) {
    m_bAutoDelete = false;
    if (CreateThread(false)) {
        WaitForStart(m_eventStarted);
        SetThreadPriority(THREAD_PRIORITY_TIME_CRITICAL);
    } else {
        // No thread: report the end anyway so that the owner lets go of us.
        ExitInstance();
    }
}

CReceiveUSBThread::~CReceiveUSBThread() {
    EndThread();
    m_pOwner = nullptr;
}

bool CReceiveUSBThread::InitInstance() {
    m_eventStarted.Set();
    return true;
}

int CReceiveUSBThread::Run() {
    if (Collect()) {
        if (INotifyWindow* owner = m_pOwner) owner->SignalReceivedUSB();
    }
    ExitInstance();
    WaitForQuit();
    return 0;
}

int CReceiveUSBThread::ExitInstance() {
    if (!m_bEndedPosted.exchange(true)) {
        if (INotifyWindow* owner = m_pOwner)
            owner->PostMessage(WM_RECV_USB_ENDED, 0, Number());
    }
    return CWinThread::ExitInstance();
}

void CReceiveUSBThread::Kill() { m_hEventKill.Set(); }

bool CReceiveUSBThread::Stopping() {
    return m_hEventKill.IsSet() || QuitRequested();
}

bool CReceiveUSBThread::Collect() {
    // More than the buffer holds would overrun receivedBuffer; the protocol
    // never asks for that, and its deadline decides if it does.
    if (bytes2BeReceived < 1 || bytes2BeReceived > kReceivedBufferSize)
        return false;

    int numBytesReceived = 0;
    int offset = 0;
    int missing = bytes2BeReceived;
    uint8_t local[kReceivedBufferSize];

    rtq::SleepMs(kPollMs);
    for (;;) {
        if (Stopping()) return false;
        const HANDLE device = g_hUsbDevice;
        if (device == INVALID_HANDLE_VALUE || device == 0) return false;

        // Wait without the port mutex, so that the send thread's writes go
        // on meanwhile; the read itself never blocks, so nothing is left
        // outstanding when the thread stops.
        const bool readable = rtq::UsbBackend().WaitReadable(device, kPollMs);
        if (Stopping()) return false;
        if (!readable) continue;

        size_t got = 0;
        bool ok;
        {
            std::lock_guard<std::mutex> lk(g_portMutex);
            ok = rtq::UsbBackend().Read(device, local,
                                        static_cast<size_t>(missing), &got);
        }
        if (!ok) return false;
        if (got > static_cast<size_t>(missing)) got = missing;

        if (got > 0) {
            std::memcpy(receivedBuffer + offset, local, got);
            numBytesReceived += static_cast<int>(got);
            missing -= static_cast<int>(got);
            offset += static_cast<int>(got);
            if (numBytesReceived == bytes2BeReceived) return true;
        }
        rtq::SleepMs(kPollMs);
    }
}
