#include "platform/clock.h"

#include <time.h>

#include <chrono>
#include <thread>

namespace rtq {

namespace {

int64_t RealNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch())
        .count();
}

int64_t RealMonotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

SystemClock g_systemClock;
std::atomic<Clock*> g_activeClock{nullptr};

}  // namespace

int64_t Clock::SteadyMs() { return FloorDiv(MonotonicUs(), 1000); }

int64_t Clock::SteadySeconds() { return FloorDiv(SteadyMs(), 1000); }

int64_t SystemClock::NowMs() { return RealNowMs(); }

int64_t SystemClock::MonotonicUs() { return RealMonotonicUs(); }

void SystemClock::SleepMs(int64_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool SystemClock::WaitFor(std::condition_variable& cv,
                          std::unique_lock<std::mutex>& lk, int64_t ms,
                          const std::function<bool()>& pred) {
    if (ms < 0) {
        cv.wait(lk, pred);
        return true;
    }
    return cv.wait_for(lk, std::chrono::milliseconds(ms), pred);
}

VirtualClock::VirtualClock(int64_t startMs) : m_steadyMs(startMs) {}

int64_t VirtualClock::NowMs() { return m_steadyMs.load() + m_wallOffsetMs.load(); }

int64_t VirtualClock::MonotonicUs() { return m_steadyMs.load() * 1000; }

void VirtualClock::StepWall(int64_t ms) { m_wallOffsetMs += ms; }

void VirtualClock::SleepMs(int64_t ms) {
    if (ms > 0) Advance(ms);
}

bool VirtualClock::WaitFor(std::condition_variable&,
                           std::unique_lock<std::mutex>&, int64_t ms,
                           const std::function<bool()>& pred) {
    if (pred()) return true;
    if (ms > 0) Advance(ms);
    return pred();
}

void VirtualClock::Advance(int64_t ms) {
    m_steadyMs += ms;
    m_sleptMs += ms;
}

int64_t VirtualClock::SleptMs() const { return m_sleptMs.load(); }

void VirtualClock::ResetSlept() { m_sleptMs = 0; }

ScaledClock::ScaledClock(int factor)
    : m_factor(factor > 0 ? factor : 1),
      m_startVirtual(RealNowMs()),
      m_startRealUs(RealMonotonicUs()) {}

int64_t ScaledClock::NowMs() {
    return m_startVirtual + FloorDiv(RealMonotonicUs() - m_startRealUs, 1000) * m_factor;
}

int64_t ScaledClock::MonotonicUs() {
    return m_startVirtual * 1000 + (RealMonotonicUs() - m_startRealUs) * m_factor;
}

void ScaledClock::SleepMs(int64_t ms) {
    if (ms <= 0) return;
    // Sleep until the scaled time has reached the target, so that many short
    // sleeps do not drift below their sum.
    const int64_t target = SteadyMs() + ms;
    for (int64_t left = ms; left > 0; left = target - SteadyMs()) {
        std::this_thread::sleep_for(
            std::chrono::microseconds((left * 1000 + m_factor - 1) / m_factor));
    }
}

bool ScaledClock::WaitFor(std::condition_variable& cv,
                          std::unique_lock<std::mutex>& lk, int64_t ms,
                          const std::function<bool()>& pred) {
    if (ms < 0) {
        cv.wait(lk, pred);
        return true;
    }
    const int64_t target = SteadyMs() + ms;
    for (int64_t left = ms; left > 0; left = target - SteadyMs()) {
        if (cv.wait_for(lk,
                        std::chrono::microseconds((left * 1000 + m_factor - 1) /
                                                  m_factor),
                        pred))
            return true;
    }
    return pred();
}

Clock& ActiveClock() {
    Clock* c = g_activeClock.load();
    return c ? *c : g_systemClock;
}

void SetActiveClock(Clock* clock) { g_activeClock.store(clock); }

ScopedClock::ScopedClock(Clock& clock) : m_previous(g_activeClock.load()) {
    SetActiveClock(&clock);
}

ScopedClock::~ScopedClock() { SetActiveClock(m_previous); }

int64_t NowMs() { return ActiveClock().NowMs(); }
int64_t SteadyMs() { return ActiveClock().SteadyMs(); }
int64_t SteadySeconds() { return ActiveClock().SteadySeconds(); }
int64_t MonotonicUs() { return ActiveClock().MonotonicUs(); }
void SleepMs(int64_t ms) { ActiveClock().SleepMs(ms); }

SecondsDeadline::SecondsDeadline(int64_t seconds)
    : m_endSecond(SteadySeconds() + seconds) {}

bool SecondsDeadline::Passed() const { return SteadySeconds() > m_endSecond; }

int64_t SecondsDeadline::RemainingMs() const {
    const int64_t left = (m_endSecond + 1) * 1000 - SteadyMs();
    return left > 0 ? left : 0;
}

void SecondsDeadline::SleepUntilPassed() const {
    // A sleep may end a little early on a scaled clock; re-check.
    while (!Passed()) SleepMs(RemainingMs() > 0 ? RemainingMs() : 1);
}

}  // namespace rtq
