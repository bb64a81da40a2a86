#pragma once
// What the tty and RFCOMM backends do alike on an open descriptor: keep
// the line settings and time-outs the caller set, fail a call with an
// error number, and read within the read constant by waiting through poll.

#include <poll.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/clock.h"
#include "ports/comm_types.h"
#include "ports/linux/device_syscalls.h"

namespace rtq {

// Stores err's text as this thread's last error; false, for returning.
bool FailWithErrno(int err);

// The settings a port keeps for its caller, under their own lock: calls
// on other threads read them while one changes them.
class KeptSettings {
public:
    DCB Dcb() const { return Load(m_dcb); }
    void SetDcb(const DCB& dcb) { Store(m_dcb, dcb); }
    COMMTIMEOUTS Timeouts() const { return Load(m_timeouts); }
    void SetTimeouts(const COMMTIMEOUTS& t) { Store(m_timeouts, t); }
    // Where a read stops waiting: the read constant from now.
    int64_t ReadEndMs() const;
    // Where a write stops waiting: the write constant from now, or
    // kDefaultWriteBudgetMs when the port never had one.
    int64_t WriteEndMs() const;

    static constexpr int64_t kDefaultWriteBudgetMs = 3000;

private:
    template <class T>
    T Load(const T& field) const {
        std::lock_guard<std::mutex> lk(m_mutex);
        return field;
    }
    template <class T>
    void Store(T& field, const T& value) {
        std::lock_guard<std::mutex> lk(m_mutex);
        field = value;
    }

    mutable std::mutex m_mutex;
    DCB m_dcb;
    COMMTIMEOUTS m_timeouts;
};

// GetState, GetTimeouts and SetTimeouts of a port whose `settings` hold
// them; a port that is not open (null) fails with EBADF.
template <class Port>
bool GetKeptState(const std::shared_ptr<Port>& port, DCB* dcb) {
    if (!port) return FailWithErrno(EBADF);
    *dcb = port->settings.Dcb();
    return true;
}

template <class Port>
bool GetKeptTimeouts(const std::shared_ptr<Port>& port, COMMTIMEOUTS* t) {
    if (!port) return FailWithErrno(EBADF);
    *t = port->settings.Timeouts();
    return true;
}

template <class Port>
bool KeepTimeouts(const std::shared_ptr<Port>& port, const COMMTIMEOUTS& t) {
    if (!port) return FailWithErrno(EBADF);
    port->settings.SetTimeouts(t);
    return true;
}

// One read call on fd until endMs: waits for it to be readable, then
// takes what readOnce(revents, got) gets. readOnce returns an error number
// to fail with, or 0 with *got set (0 when nothing was there after all:
// the wait goes on). True with *got 0 once endMs has passed.
template <class ReadOnce>
bool ReadWithin(DeviceSyscalls& sys, int fd, int64_t endMs, size_t* got, ReadOnce readOnce) {
    for (;;) {
        short revents = 0;
        const int r = PollUntil(sys, fd, POLLIN, endMs, &revents);
        if (r < 0) return FailWithErrno(errno);
        if (r == 0) return true;  // the read constant ran out
        if (revents & POLLNVAL) return FailWithErrno(EBADF);
        const int err = readOnce(revents, got);
        if (err != 0) return FailWithErrno(err);
        if (*got > 0 || SteadyMs() >= endMs) return true;
    }
}

}  // namespace rtq
