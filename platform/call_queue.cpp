#include "platform/call_queue.h"

#include "platform/clock.h"

namespace rtq {

CallQueue::CallQueue(std::function<void()> wake)
    : m_state(std::make_shared<State>()),
      m_wake(std::move(wake)),
      m_owner(std::this_thread::get_id()) {}

CallQueue::~CallQueue() { Close(); }

void CallQueue::Close() {
    std::lock_guard<std::mutex> lk(m_state->mutex);
    m_state->closed = true;
    for (const auto& item : m_state->queue) item->done = true;
    m_state->queue.clear();
    m_state->doneCv.notify_all();
    m_state->itemCv.notify_all();
}

bool CallQueue::OnOwnerThread() const { return std::this_thread::get_id() == m_owner; }

bool CallQueue::Enqueue(const std::shared_ptr<Pending>& item) {
    {
        std::lock_guard<std::mutex> lk(m_state->mutex);
        if (m_state->closed) return false;
        m_state->queue.push_back(item);
        m_state->itemCv.notify_all();
    }
    if (m_wake) m_wake();
    return true;
}

bool CallQueue::Call(std::function<void()> fn) {
    if (OnOwnerThread()) {
        fn();
        return true;
    }
    auto item = std::make_shared<Pending>();
    item->fn = std::move(fn);
    item->waited = true;
    const std::shared_ptr<State> state = m_state;
    if (!Enqueue(item)) return false;
    std::unique_lock<std::mutex> lk(state->mutex);
    state->doneCv.wait(lk, [&] { return item->done; });
    return item->ran;
}

void CallQueue::Post(std::function<void()> fn) {
    auto item = std::make_shared<Pending>();
    item->fn = std::move(fn);
    Enqueue(item);
}

void CallQueue::Drain() {
    const std::shared_ptr<State> state = m_state;
    for (;;) {
        std::shared_ptr<Pending> item;
        {
            std::lock_guard<std::mutex> lk(state->mutex);
            if (state->queue.empty()) return;
            item = state->queue.front();
            state->queue.pop_front();
        }
        item->fn();
        std::lock_guard<std::mutex> lk(state->mutex);
        item->ran = true;
        item->done = true;
        if (item->waited) state->doneCv.notify_all();
        // The queue may have been destroyed by the function; stop here then.
        if (state->closed) return;
    }
}

bool CallQueue::RunUntil(const std::function<bool()>& done, int64_t timeoutMs) {
    const std::shared_ptr<State> state = m_state;
    const int64_t end = timeoutMs < 0 ? 0 : SteadyMs() + timeoutMs;
    for (;;) {
        Drain();
        if (done()) return true;
        std::unique_lock<std::mutex> lk(state->mutex);
        if (state->closed) return done();
        int64_t wait = -1;
        if (timeoutMs >= 0) {
            wait = end - SteadyMs();
            if (wait <= 0) {
                lk.unlock();
                return done();
            }
        }
        // Woken by the next call; done() itself changes only in a call.
        ActiveClock().WaitFor(state->itemCv, lk, wait,
                              [&] { return !state->queue.empty() || state->closed; });
    }
}

}  // namespace rtq
