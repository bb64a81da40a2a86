#include "platform/event.h"

#include "platform/clock.h"

namespace rtq {

Event::Event(bool manualReset, bool initiallySet)
    : m_manualReset(manualReset), m_set(initiallySet) {}

void Event::Set() {
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_set = true;
    }
    m_cv.notify_all();
}

void Event::Reset() {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_set = false;
}

bool Event::Wait(int64_t timeoutMs) {
    std::unique_lock<std::mutex> lk(m_mutex);
    bool ok = m_set;
    if (!ok && timeoutMs != 0)
        ok = ActiveClock().WaitFor(m_cv, lk, timeoutMs, [this] { return m_set; });
    if (ok && !m_manualReset) m_set = false;
    return ok;
}

bool Event::IsSet() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_set;
}

}  // namespace rtq
