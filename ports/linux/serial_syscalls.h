#pragma once
// The system calls beneath the Linux serial backend, behind one object so
// that tests can make any of them fail as hardware does (EINTR anywhere,
// EAGAIN and short writes, EIO or ENXIO from an adapter pulled out, a DSR
// line that stays low), and the one retry rule the backend applies.

#include <poll.h>
#include <sys/types.h>
#include <termios.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace rtq {

class SerialSyscalls {
public:
    virtual ~SerialSyscalls() = default;

    virtual int Open(const char* path, int flags);
    virtual int Close(int fd);
    virtual ssize_t Read(int fd, void* buf, size_t n);
    virtual ssize_t Write(int fd, const void* buf, size_t n);
    virtual int Poll(pollfd* fds, nfds_t n, int timeoutMs);
    // ioctl with a pointer argument (or none, for TIOCEXCL and TIOCNXCL).
    virtual int Ioctl(int fd, unsigned long request, void* arg);
    virtual int TcGetAttr(int fd, termios* t);
    virtual int TcSetAttr(int fd, int action, const termios* t);
    virtual int TcFlush(int fd, int queue);
    virtual int TcDrain(int fd);
    virtual int Flock(int fd, int operation);
};

// The real calls.
SerialSyscalls& SystemSerialSyscalls();

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

// Waits for events on fd until endMs on the active clock; an interrupted
// wait goes on for what is left. Returns poll's result (0: time-out), with
// the events seen in *revents.
int PollUntil(SerialSyscalls& sys, int fd, short events, int64_t endMs, short* revents);

}  // namespace rtq
