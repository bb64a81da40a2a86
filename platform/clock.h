#pragma once
// The one source of time for the core. Every clock read, millisecond sleep
// and timed wait goes through the active Clock, so tests can run the
// protocol's long pauses on a virtual clock at no cost. Durations and
// deadlines are measured on the steady clock, so that a step of the wall
// clock (a time sync) neither stretches nor cuts a wait; the wall clock is
// for dates only.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace rtq {

class Clock {
public:
    virtual ~Clock() = default;

    // Wall-clock time in milliseconds since the epoch.
    virtual int64_t NowMs() = 0;

    // Microseconds on a clock that never goes back (its origin means
    // nothing): for measuring intervals finer than NowMs shows.
    virtual int64_t MonotonicUs() = 0;

    // Sleeps for ms milliseconds (nothing for ms <= 0).
    virtual void SleepMs(int64_t ms) = 0;

    // Waits on cv (lk held) until pred() holds or ms milliseconds passed;
    // ms < 0 waits without limit. Returns pred().
    virtual bool WaitFor(std::condition_variable& cv,
                         std::unique_lock<std::mutex>& lk, int64_t ms,
                         const std::function<bool()>& pred) = 0;

    // Milliseconds and whole seconds of the steady clock (MonotonicUs):
    // the time base of every wait and deadline.
    int64_t SteadyMs();
    int64_t SteadySeconds();
};

// Real time.
class SystemClock final : public Clock {
public:
    int64_t NowMs() override;
    int64_t MonotonicUs() override;  // CLOCK_MONOTONIC
    void SleepMs(int64_t ms) override;
    bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lk,
                 int64_t ms, const std::function<bool()>& pred) override;
};

// Time moves only when somebody sleeps or waits: a sleep or an unsatisfied
// timed wait advances the clock by its full length at once. For
// single-threaded tests; an unlimited wait whose predicate is false would
// never return and is reported by returning false at once instead.
class VirtualClock final : public Clock {
public:
    // Both clocks start at startMs and move together, but for StepWall.
    explicit VirtualClock(int64_t startMs = 1'700'000'000'000);
    int64_t NowMs() override;
    int64_t MonotonicUs() override;
    void SleepMs(int64_t ms) override;
    bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lk,
                 int64_t ms, const std::function<bool()>& pred) override;

    void Advance(int64_t ms);
    // Sets the wall clock forwards (ms > 0) or back, as a time sync does;
    // the steady clock does not move.
    void StepWall(int64_t ms);
    // Total milliseconds slept or waited since construction (or Reset).
    int64_t SleptMs() const;
    void ResetSlept();

private:
    std::atomic<int64_t> m_steadyMs;
    std::atomic<int64_t> m_wallOffsetMs{0};
    std::atomic<int64_t> m_sleptMs{0};
};

// Real time running `factor` times faster: for tests with several threads,
// where sleeps must still let other threads run.
class ScaledClock final : public Clock {
public:
    explicit ScaledClock(int factor);
    // The wall clock at construction, moved on by the scaled steady time.
    int64_t NowMs() override;
    // Real monotonic time since construction, scaled, from NowMs's start.
    int64_t MonotonicUs() override;
    void SleepMs(int64_t ms) override;
    bool WaitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lk,
                 int64_t ms, const std::function<bool()>& pred) override;

private:
    int64_t m_factor;
    int64_t m_startVirtual;
    int64_t m_startRealUs;  // monotonic
};

// The process-wide clock; SystemClock unless a test installed another.
Clock& ActiveClock();
void SetActiveClock(Clock* clock);  // nullptr restores the system clock

// Installs a clock for the lifetime of the object.
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* m_previous;
};

// Shorthands on the active clock.
int64_t NowMs();
int64_t SteadyMs();
int64_t SteadySeconds();
int64_t MonotonicUs();
void SleepMs(int64_t ms);

// A deadline of T whole seconds from now has passed once the current
// whole second (of the steady clock) is strictly later than start + T, so
// it lasts T to T + 1 s.
class SecondsDeadline {
public:
    explicit SecondsDeadline(int64_t seconds);
    bool Passed() const;
    // Milliseconds until Passed() becomes true (0 if it already is).
    int64_t RemainingMs() const;
    // Sleeps until the deadline has passed.
    void SleepUntilPassed() const;

private:
    int64_t m_endSecond;
};

}  // namespace rtq
