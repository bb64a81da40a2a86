#include "workers/win_thread.h"

#include <new>
#include <system_error>

#include "workers/thread_priority.h"

namespace {

LPARAM NextThreadNumber() {
    static std::atomic<LPARAM> s_last{0};
    return s_last.fetch_add(1) + 1;
}

}  // namespace

CWinThread::CWinThread() : m_nNumber(NextThreadNumber()) {}

CWinThread::CWinThread(AFX_THREADPROC proc, void* param)
    : m_nNumber(NextThreadNumber()), m_pfnThreadProc(proc), m_pThreadParams(param) {}

CWinThread::~CWinThread() { EndThread(); }

bool CWinThread::InitInstance() { return true; }

int CWinThread::Run() {
    WaitForQuit();
    return ExitInstance();
}

int CWinThread::ExitInstance() { return 0; }

bool CWinThread::CreateThread(bool suspended) {
    std::lock_guard<std::mutex> lk(m_stateMutex);
    if (m_bAutoDelete || m_bStarted) return false;
    m_bResumed = !suspended;
    try {
        m_thread = std::thread(&CWinThread::ThreadMain, this);
    } catch (const std::system_error&) {
        return false;
    }
    m_bStarted = true;
    return true;
}

void CWinThread::ResumeThread() {
    {
        std::lock_guard<std::mutex> lk(m_stateMutex);
        m_bResumed = true;
    }
    m_stateCv.notify_all();
}

void CWinThread::SetThreadPriority(int priority) {
    m_nPriority = priority;
    // Applied at once only while the thread is known to be alive, so that
    // a reused thread id is never touched; otherwise the thread applies it
    // when it starts.
    std::lock_guard<std::mutex> lk(m_stateMutex);
    if (m_nTid != 0 && !m_bEnded) rtq::ApplyThreadPriority(m_nTid, priority);
}

int CWinThread::GetThreadPriority() const { return m_nPriority; }

int CWinThread::ExitCode() const { return m_nExitCode; }

bool CWinThread::HasStarted() const {
    std::lock_guard<std::mutex> lk(m_stateMutex);
    return m_bStarted;
}

bool CWinThread::HasEnded() const {
    std::lock_guard<std::mutex> lk(m_stateMutex);
    return m_bEnded;
}

void CWinThread::EndThread() {
    {
        std::lock_guard<std::mutex> lk(m_stateMutex);
        m_bQuit = true;
        // A thread that was never resumed leaves without running anything.
        m_bResumed = true;
    }
    m_stateCv.notify_all();
    if (!m_thread.joinable()) return;
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();  // never joins itself
    else
        m_thread.join();
}

void CWinThread::WaitForQuit() {
    std::unique_lock<std::mutex> lk(m_stateMutex);
    m_stateCv.wait(lk, [this] { return m_bQuit; });
}

bool CWinThread::QuitRequested() const {
    std::lock_guard<std::mutex> lk(m_stateMutex);
    return m_bQuit;
}

void CWinThread::ThreadMain() {
    bool quit;
    {
        std::unique_lock<std::mutex> lk(m_stateMutex);
        m_nTid = rtq::CurrentSystemThreadId();
        m_stateCv.wait(lk, [this] { return m_bResumed; });
        quit = m_bQuit;
        if (!quit) rtq::ApplyThreadPriority(m_nTid, m_nPriority);
    }
    int code = 0;
    if (!quit) {
        if (m_pfnThreadProc)
            code = static_cast<int>(m_pfnThreadProc(m_pThreadParams));
        else if (InitInstance())
            code = Run();
        else
            code = ExitInstance();
    }
    m_nExitCode = code;
    std::lock_guard<std::mutex> lk(m_stateMutex);
    m_bEnded = true;
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, void* param, int priority,
                           bool suspended) {
    auto* thread = new (std::nothrow) CWinThread(proc, param);
    if (!thread) return nullptr;
    thread->SetThreadPriority(priority);
    if (!thread->CreateThread(suspended)) {
        delete thread;
        return nullptr;
    }
    return thread;
}

void WaitForStart(rtq::Event& started) {
    // A virtual clock answers an unlimited wait at once; InitInstance sets
    // the event within moments, so asking again is enough.
    while (!started.Wait(-1)) {
    }
}
