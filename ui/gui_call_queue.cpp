#include "ui/gui_call_queue.h"

#include <QMetaObject>
#include <QThread>

CGuiCallQueue::CGuiCallQueue(QObject* parent)
    : QObject(parent), m_state(std::make_shared<State>()) {}

CGuiCallQueue::~CGuiCallQueue() {
    std::lock_guard<std::mutex> lk(m_state->mutex);
    m_state->closed = true;
    for (const auto& item : m_state->queue) item->done = true;
    m_state->queue.clear();
    m_state->doneCv.notify_all();
}

bool CGuiCallQueue::OnOwnerThread() const { return QThread::currentThread() == thread(); }

bool CGuiCallQueue::Enqueue(const std::shared_ptr<Pending>& item) {
    {
        std::lock_guard<std::mutex> lk(m_state->mutex);
        if (m_state->closed) return false;
        m_state->queue.push_back(item);
    }
    QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
    return true;
}

bool CGuiCallQueue::Call(std::function<void()> fn) {
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

void CGuiCallQueue::Post(std::function<void()> fn) {
    auto item = std::make_shared<Pending>();
    item->fn = std::move(fn);
    Enqueue(item);
}

void CGuiCallQueue::Drain() {
    const std::shared_ptr<State> state = m_state;
    // One item at a time: a function may open a modal box whose event loop
    // drains the items behind it, as window messages are handled meanwhile.
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
