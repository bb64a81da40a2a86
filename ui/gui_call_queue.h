#pragma once
// Calls carried over to the thread that owns the queue (the user-interface
// thread): Call waits until the function has run there, Post returns at
// once. Both keep their order. The functions travel in a queue guarded by a
// std::mutex and the owner thread is only woken by an argument-less queued
// invocation, so the hand-over is visible to ThreadSanitizer, which cannot
// see the futexes inside the Qt libraries.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include <QObject>

class CGuiCallQueue : public QObject {
    Q_OBJECT

public:
    explicit CGuiCallQueue(QObject* parent = nullptr);
    // Pending posted calls are dropped; callers still waiting in Call are
    // released and get false.
    ~CGuiCallQueue() override;

    // Runs fn on the owner thread and returns after it ran; on the owner
    // thread itself it runs at once (a queued call would wait for itself).
    // False when the queue went away before fn could run.
    bool Call(std::function<void()> fn);
    // Queues fn for the owner thread.
    void Post(std::function<void()> fn);

    bool OnOwnerThread() const;

private:
    struct Pending {
        std::function<void()> fn;
        bool waited = false;  // a caller waits for done
        bool done = false;
        bool ran = false;
    };

    // Shared with waiting callers and a running Drain, so that it outlives
    // the queue object when that goes away in the middle of a call.
    struct State {
        std::mutex mutex;
        std::condition_variable doneCv;
        std::deque<std::shared_ptr<Pending>> queue;
        bool closed = false;
    };

    Q_INVOKABLE void Drain();
    bool Enqueue(const std::shared_ptr<Pending>& item);

    std::shared_ptr<State> m_state;
};
