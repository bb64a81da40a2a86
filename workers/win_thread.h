#pragma once
// A thread object in the shape the rest of the code expects: either a
// thread procedure (AfxBeginThread) or a class that overrides InitInstance,
// Run and ExitInstance. Instead of a message loop there is a quit request;
// the destructor makes it and joins the thread. Objects never delete
// themselves: their owner does, on the user-interface thread.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/event.h"
#include "platform/types.h"

// Priority values as the callers name them.
constexpr int THREAD_PRIORITY_IDLE = -15;
constexpr int THREAD_PRIORITY_LOWEST = -2;
constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
constexpr int THREAD_PRIORITY_NORMAL = 0;
constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
constexpr int THREAD_PRIORITY_HIGHEST = 2;
constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;

using AFX_THREADPROC = UINT (*)(void*);

class CWinThread {
public:
    // A thread object for a class that overrides the virtuals below.
    CWinThread();
    // A thread object that runs proc(param) and ends when it returns.
    CWinThread(AFX_THREADPROC proc, void* param);

    // Virtual operations in their order.
    // Requests the quit and waits without limit for the thread's end.
    virtual ~CWinThread();
    // Runs first on the new thread; false skips Run.
    virtual bool InitInstance();
    // The thread's work. The default waits for the quit request, then
    // calls ExitInstance.
    virtual int Run();
    // The thread-exit work; returns the exit code.
    virtual int ExitInstance();

    // Starts the thread, held before its first instruction when suspended.
    // False when it cannot start, or when m_bAutoDelete is set (objects
    // that delete themselves are not supported).
    bool CreateThread(bool suspended);
    void ResumeThread();
    // Best effort: stored, and applied as far as the process may (lowering
    // the nice value needs privileges; failures are ignored).
    void SetThreadPriority(int priority);
    int GetThreadPriority() const;
    // True once CreateThread has started the thread.
    bool HasStarted() const;
    // The proc's return value or Run's, once the thread has ended.
    int ExitCode() const;
    bool HasEnded() const;

    // Must stay false: the owner deletes the object.
    bool m_bAutoDelete = false;

    // This object's number, never 0 and never given to another thread
    // object of the process: ended-messages name their thread by it, so a
    // late message cannot be taken for a newer thread at the same address.
    LPARAM Number() const { return m_nNumber; }

    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

protected:
    // Derived destructors call this first, so that the thread has left
    // their overrides before their members go. Idempotent.
    void EndThread();
    // Blocks the thread until the owner asks it to quit (the stand-in for
    // waiting in the message loop).
    void WaitForQuit();
    bool QuitRequested() const;

private:
    void ThreadMain();
    void ApplyPriority();

    const LPARAM m_nNumber;
    AFX_THREADPROC m_pfnThreadProc = nullptr;
    void* m_pThreadParams = nullptr;

    std::thread m_thread;
    std::atomic<int> m_nExitCode{0};
    std::atomic<int> m_nPriority{THREAD_PRIORITY_NORMAL};

    // Resume, quit and end are plain flags under one mutex: these waits
    // have no time limit, so they need no clock.
    mutable std::mutex m_stateMutex;
    std::condition_variable m_stateCv;
    bool m_bStarted = false;
    bool m_bResumed = false;
    bool m_bQuit = false;
    bool m_bEnded = false;
    int m_nTid = 0;  // kernel thread id while the thread runs
};

// Creates a thread object for proc(param) at the given priority, running
// or suspended (then ResumeThread starts it). nullptr when it cannot start.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, void* param,
                           int priority = THREAD_PRIORITY_NORMAL,
                           bool suspended = false);

// The start handshake of the thread classes: waits without limit until the
// new thread's InitInstance has set `started`.
void WaitForStart(rtq::Event& started);
