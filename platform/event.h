#pragma once
// Manual- or auto-reset event, the stand-in for a Windows event object.
// Timed waits go through the active clock.

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace rtq {

class Event {
public:
    explicit Event(bool manualReset, bool initiallySet = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();

    // Waits until the event is set: timeoutMs 0 only tests it, a negative
    // value waits without limit. Returns true when it was set; an
    // auto-reset event is cleared by a successful wait.
    bool Wait(int64_t timeoutMs);

    // Zero-wait test; does not clear an auto-reset event.
    bool IsSet() const;

private:
    const bool m_manualReset;
    bool m_set;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
};

}  // namespace rtq
