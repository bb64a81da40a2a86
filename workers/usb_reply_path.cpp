#include "workers/usb_reply_path.h"

#include <algorithm>

#include "platform/clock.h"
#include "workers/receive_usb_thread.h"

CUsbReplyPath::~CUsbReplyPath() { Release(); }

void CUsbReplyPath::StartReceiveThread(int bytes, INotifyWindow* owner) {
    CReceiveUSBThread* previous = nullptr;
    {
        std::lock_guard<std::mutex> lk(m_recvThreadMutex);
        previous = m_pReceiveUSBThread.exchange(nullptr);
        // Every receive thread posts its ended-message once, at the latest
        // while it is deleted; this one's is still to be handled.
        if (previous) m_vecRetiredRecvThreads.push_back(reinterpret_cast<LPARAM>(previous));
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

void CUsbReplyPath::OnRecvUsbEnded(LPARAM thread) {
    CReceiveUSBThread* held = nullptr;
    {
        std::lock_guard<std::mutex> lk(m_recvThreadMutex);
        auto retired =
            std::find(m_vecRetiredRecvThreads.begin(), m_vecRetiredRecvThreads.end(), thread);
        if (retired != m_vecRetiredRecvThreads.end()) {
            // The message of a thread deleted earlier; its address may be
            // the current thread's by now.
            m_vecRetiredRecvThreads.erase(retired);
            return;
        }
        held = m_pReceiveUSBThread.load();
        if (!held || reinterpret_cast<LPARAM>(held) != thread) return;
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
        m_vecRetiredRecvThreads.clear();
    }
    if (recv) {
        recv->m_pOwner.store(nullptr);
        recv->Kill();
        delete recv;
    }
}
