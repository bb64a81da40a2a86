// Thread priorities reach the Windows thread: set by the thread itself and
// by another thread while it runs, as the worker and the receive thread do.

#include "workers/thread_priority.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <future>
#include <thread>

namespace {

TEST(WindowsThreadPriority, ReachesTheSystemThreadFromItselfAndFromAnother) {
    std::promise<int> started;
    std::promise<void> go;
    std::future<void> goSeen = go.get_future();
    std::atomic<int> own{-99}, raised{-99};
    std::thread worker([&] {
        rtq::ApplyThreadPriority(rtq::CurrentSystemThreadId(), THREAD_PRIORITY_ABOVE_NORMAL);
        own = GetThreadPriority(GetCurrentThread());
        started.set_value(rtq::CurrentSystemThreadId());
        goSeen.wait();
        raised = GetThreadPriority(GetCurrentThread());
    });
    const int tid = started.get_future().get();
    rtq::ApplyThreadPriority(tid, THREAD_PRIORITY_TIME_CRITICAL);
    go.set_value();
    worker.join();
    EXPECT_EQ(own.load(), THREAD_PRIORITY_ABOVE_NORMAL);
    EXPECT_EQ(raised.load(), THREAD_PRIORITY_TIME_CRITICAL);
    // A thread that has gone is left alone.
    rtq::ApplyThreadPriority(tid, THREAD_PRIORITY_NORMAL);
}

}  // namespace
