#include "workers/usb_reply_path.h"

#include "platform/clock.h"
#include "workers/receive_usb_thread.h"

CUsbReplyPath::~CUsbReplyPath() { Release(); }

void CUsbReplyPath::StartReceiveThread(int bytes, INotifyWindow* owner) {
    CReceiveUSBThread* previous = nullptr;
    {
        std::lock_guard<std::mutex> lk(m_recvThreadMutex);
        previous = m_pReceiveUSBThread.exchange(nullptr);
    }
    if (previous) {
        previous->Kill();
        delete previous;
        rtq::SleepMs(kReceiveRestartPauseMs);
    }
    auto* next = new CReceiveUSBThread(bytes, owner);
    std::lock_guard<std::mutex> lk(m_recvThreadMutex);
    m_pReceiveUSBThread.store(next);
}

void CUsbReplyPath::OnRecvUsbEnded(LPARAM number) {
    CReceiveUSBThread* held = nullptr;
    {
        std::lock_guard<std::mutex> lk(m_recvThreadMutex);
        held = m_pReceiveUSBThread.load();
        if (!held || held->Number() != number) return;
        m_pReceiveUSBThread.store(nullptr);
    }
    delete held;
}

void CUsbReplyPath::KillReceiveUSBThread() {
    // The lock keeps the object alive meanwhile.
    std::lock_guard<std::mutex> lk(m_recvThreadMutex);
    if (CReceiveUSBThread* thread = m_pReceiveUSBThread.load()) thread->Kill();
}

void CUsbReplyPath::Release() {
    CReceiveUSBThread* recv = nullptr;
    {
        std::lock_guard<std::mutex> lk(m_recvThreadMutex);
        recv = m_pReceiveUSBThread.exchange(nullptr);
    }
    if (recv) {
        recv->m_pOwner.store(nullptr);
        recv->Kill();
        delete recv;
    }
}
