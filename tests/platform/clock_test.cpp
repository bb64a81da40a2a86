#include <gtest/gtest.h>

#include <thread>

#include "platform/clock.h"
#include "platform/event.h"

namespace {

using rtq::ScopedClock;
using rtq::SecondsDeadline;
using rtq::VirtualClock;

TEST(SecondsDeadline, LastsBetweenTAndTPlusOneSeconds) {
    for (int64_t offset : {0, 1, 500, 999}) {
        VirtualClock clock(1'000'000'000 + offset);
        ScopedClock use(clock);
        SecondsDeadline d(10);
        const int64_t start = clock.NowMs();
        d.SleepUntilPassed();
        const int64_t waited = clock.NowMs() - start;
        EXPECT_GE(waited, 10'000) << offset;
        EXPECT_LE(waited, 11'000) << offset;
        EXPECT_TRUE(d.Passed());
    }
}

TEST(SecondsDeadline, NotPassedAtExactlyStartPlusT) {
    VirtualClock clock(5'000'000);
    ScopedClock use(clock);
    SecondsDeadline d(3);
    clock.Advance(3'999);
    EXPECT_FALSE(d.Passed());
    clock.Advance(1);
    EXPECT_TRUE(d.Passed());
}

TEST(Event, AutoResetClearsOnWaitManualStays) {
    VirtualClock clock;
    ScopedClock use(clock);
    rtq::Event manual(true), autoReset(false);
    manual.Set();
    autoReset.Set();
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(autoReset.Wait(0));
    EXPECT_FALSE(autoReset.Wait(0));
    // An unsatisfied timed wait costs its full time on the virtual clock.
    const int64_t before = clock.NowMs();
    EXPECT_FALSE(autoReset.Wait(250));
    EXPECT_EQ(clock.NowMs() - before, 250);
}

TEST(Event, WakesAWaiterOnAnotherThread) {
    rtq::ScaledClock clock(10);
    ScopedClock use(clock);
    rtq::Event ev(true);
    std::thread t([&] { rtq::SleepMs(50); ev.Set(); });
    EXPECT_TRUE(ev.Wait(60'000));
    t.join();
}

TEST(MonotonicUs, FollowsEachClocksOwnTime) {
    VirtualClock virt(5'000);
    virt.SleepMs(250);
    EXPECT_EQ(virt.MonotonicUs(), 5'250'000);
    rtq::ScaledClock scaled(100);
    const int64_t before = scaled.MonotonicUs();
    scaled.SleepMs(2'000);
    EXPECT_GE(scaled.MonotonicUs() - before, 2'000'000);
    EXPECT_LT(scaled.MonotonicUs() - before, 60'000'000);
}

}  // namespace

namespace rtq {
namespace {

TEST(SteadyTime, AWallClockStepMovesNoDeadline) {
    for (int64_t step : {-3'600'000, 3'600'000}) {
        VirtualClock clock(10'000);
        ScopedClock use(clock);
        const SecondsDeadline deadline(5);
        clock.SleepMs(2'000);
        clock.StepWall(step);
        EXPECT_EQ(NowMs(), 12'000 + step);
        EXPECT_EQ(SteadyMs(), 12'000);
        EXPECT_FALSE(deadline.Passed());
        // Still T to T + 1 seconds from the start, as without the step.
        EXPECT_EQ(deadline.RemainingMs(), 4'000);
        deadline.SleepUntilPassed();
        EXPECT_EQ(SteadyMs(), 16'000);
    }
}

}  // namespace
}  // namespace rtq
