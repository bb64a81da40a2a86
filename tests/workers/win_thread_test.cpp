#include <gtest/gtest.h>

#include <atomic>

#include "platform/clock.h"
#include "tests/workers/worker_fixtures.h"
#include "workers/win_thread.h"

namespace {

using rtq::test::WaitUntil;

std::atomic<int> g_runs{0};

UINT CountingProc(void* param) {
    ++g_runs;
    return *static_cast<UINT*>(param);
}

TEST(CWinThread, SuspendedProcRunsOnlyOnceResumedAndNeverIfDeletedBefore) {
    rtq::ScaledClock clock(20);
    rtq::ScopedClock use(clock);
    g_runs = 0;
    UINT code = 7;
    CWinThread* never = AfxBeginThread(CountingProc, &code, THREAD_PRIORITY_NORMAL, true);
    CWinThread* thread =
        AfxBeginThread(CountingProc, &code, THREAD_PRIORITY_ABOVE_NORMAL, true);
    ASSERT_TRUE(never && thread);
    EXPECT_FALSE(thread->m_bAutoDelete);
    EXPECT_EQ(thread->GetThreadPriority(), THREAD_PRIORITY_ABOVE_NORMAL);
    rtq::SleepMs(200);
    EXPECT_EQ(g_runs, 0);

    delete never;  // must not hang, must not run the procedure
    thread->ResumeThread();
    ASSERT_TRUE(WaitUntil([&] { return thread->HasEnded(); }));
    EXPECT_EQ(thread->ExitCode(), 7);
    delete thread;
    EXPECT_EQ(g_runs, 1);
}

// The default Run stands for the message loop: it waits for the quit
// request that only the destructor makes, then runs ExitInstance.
class QuitThread : public CWinThread {
public:
    explicit QuitThread(std::atomic<int>* exits) : m_exits(exits) { CreateThread(false); }
    ~QuitThread() override { EndThread(); }
    bool InitInstance() override {
        m_running = true;
        return true;
    }
    bool Running() const { return m_running; }
    int ExitInstance() override {
        ++*m_exits;
        return 0;
    }

private:
    std::atomic<int>* m_exits;
    std::atomic<bool> m_running{false};
};

TEST(CWinThread, ThreadObjectsEndOnlyWhenTheirOwnerDeletesThem) {
    rtq::ScaledClock clock(20);
    rtq::ScopedClock use(clock);
    std::atomic<int> exits{0};
    auto* thread = new QuitThread(&exits);
    // A thread deleted before it ran never runs ExitInstance: wait for it.
    ASSERT_TRUE(WaitUntil([&] { return thread->Running(); }));
    rtq::SleepMs(200);
    EXPECT_FALSE(thread->HasEnded());
    EXPECT_EQ(exits, 0);
    delete thread;
    EXPECT_EQ(exits, 1);

    CWinThread selfDeleting(CountingProc, nullptr);
    selfDeleting.m_bAutoDelete = true;
    EXPECT_FALSE(selfDeleting.CreateThread(false));
}

}  // namespace
