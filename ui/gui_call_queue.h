#pragma once
// The call queue of the user-interface thread: calls from the workers are
// run by the Qt event loop. The functions travel in a queue guarded by a
// std::mutex and the owner thread is only woken by an argument-less queued
// invocation, so the hand-over is visible to ThreadSanitizer, which cannot
// see the futexes inside the Qt libraries.

#include <functional>

#include <QObject>

#include "platform/call_queue.h"

class CGuiCallQueue : public QObject {
    Q_OBJECT

public:
    // Constructed on the thread that owns it.
    explicit CGuiCallQueue(QObject* parent = nullptr);

    // Runs fn on the owner thread and returns after it ran (at once on the
    // owner thread). False when the queue went away before fn could run.
    bool Call(std::function<void()> fn) { return m_queue.Call(std::move(fn)); }
    void Post(std::function<void()> fn) { m_queue.Post(std::move(fn)); }
    bool OnOwnerThread() const { return m_queue.OnOwnerThread(); }
    void Close() { m_queue.Close(); }
    // The queue itself, for an owner that reaches it through the platform's type.
    rtq::CallQueue& Queue() { return m_queue; }

private:
    Q_INVOKABLE void Drain() { m_queue.Drain(); }

    rtq::CallQueue m_queue;
};
