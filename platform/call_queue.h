#pragma once
// Calls carried over to the thread that owns the queue: Call waits until
// the function has run there, Post returns at once; both keep their order.
// The owner runs them in Drain (woken through the wake function, as a GUI
// event loop is) or waits for them in RunUntil (a thread of its own, as the
// command line's main thread). Window messages from the workers travel this
// way, so the owner alone creates and deletes the thread objects.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace rtq {

class CallQueue {
public:
    // The constructing thread is the owner. wake, if given, is called after
    // every enqueue, from the enqueuing thread.
    explicit CallQueue(std::function<void()> wake = {});
    // Pending posted calls are dropped; callers still waiting in Call are
    // released and get false.
    ~CallQueue();
    // From here on Call returns false at once and Post drops its call, as
    // after the destructor, but the object stays usable: for an owner that
    // must wait for its workers' end before it goes.
    void Close();
    CallQueue(const CallQueue&) = delete;
    CallQueue& operator=(const CallQueue&) = delete;

    // Runs fn on the owner thread and returns after it ran; on the owner
    // thread itself it runs at once (a queued call would wait for itself).
    // False when the queue went away before fn could run.
    bool Call(std::function<void()> fn);
    void Post(std::function<void()> fn);

    bool OnOwnerThread() const;

    // Owner thread: runs what is queued, one call at a time (a call may
    // itself drain the queue, as a modal box's event loop does).
    void Drain();
    // Owner thread: runs calls as they arrive until done() holds or
    // timeoutMs passed on the active clock (< 0: no limit). Returns done().
    bool RunUntil(const std::function<bool()>& done, int64_t timeoutMs = -1);

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
        std::condition_variable itemCv;
        std::deque<std::shared_ptr<Pending>> queue;
        bool closed = false;
    };

    bool Enqueue(const std::shared_ptr<Pending>& item);

    std::shared_ptr<State> m_state;
    std::function<void()> m_wake;
    const std::thread::id m_owner;
};

}  // namespace rtq
