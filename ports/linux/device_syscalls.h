#pragma once
// The system calls every Linux device backend makes, behind one object so
// that tests can make any of them fail as hardware does, and the one retry
// rule the backends apply to them.

#include <poll.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace rtq {

class DeviceSyscalls {
public:
    virtual ~DeviceSyscalls() = default;

    virtual int Open(const char* path, int flags);
    virtual int Close(int fd);
    virtual ssize_t Read(int fd, void* buf, size_t n);
    virtual ssize_t Write(int fd, const void* buf, size_t n);
    virtual int Poll(pollfd* fds, nfds_t n, int timeoutMs);
    // ioctl with a pointer argument (or none).
    virtual int Ioctl(int fd, unsigned long request, void* arg);
};

// Repeats a call that a signal interrupted before it did anything (-1 with
// EINTR). Never for close, which has released the descriptor even then;
// poll goes through PollUntil, which keeps its deadline.
template <class Call>
auto RetryOnEintr(Call call) {
    for (;;) {
        auto r = call();
        if (r != -1 || errno != EINTR) return r;
    }
}

// Waits for events on fds until endMs on the active clock; an interrupted
// wait goes on for what is left. Returns poll's result (0: time-out), with
// the events seen in each revents.
int PollUntil(DeviceSyscalls& sys, pollfd* fds, nfds_t n, int64_t endMs);
// The same for one descriptor, with its events in *revents.
int PollUntil(DeviceSyscalls& sys, int fd, short events, int64_t endMs, short* revents);

}  // namespace rtq
