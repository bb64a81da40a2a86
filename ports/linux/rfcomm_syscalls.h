#pragma once
// The socket calls beneath the RFCOMM backend, behind one object so that
// tests can stand a socket pair in for the printer and make connect fail as
// the radio does (printer out of reach, no serial port service, refused).

#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace rtq {

class RfcommSyscalls {
public:
    virtual ~RfcommSyscalls() = default;

    // A non-blocking RFCOMM stream socket (AF_BLUETOOTH, BTPROTO_RFCOMM).
    virtual int Socket();
    virtual int Connect(int fd, const sockaddr* addr, socklen_t len);
    // The error a non-blocking connect ended with (SO_ERROR); -1 when it
    // cannot be read.
    virtual int PendingError(int fd);
    // send without SIGPIPE: a printer that hung up fails the call instead.
    virtual ssize_t Send(int fd, const void* buf, size_t n);
    virtual ssize_t Recv(int fd, void* buf, size_t n, int flags);
    virtual int Poll(pollfd* fds, nfds_t n, int timeoutMs);
    virtual int Close(int fd);
};

// The real calls.
RfcommSyscalls& SystemRfcommSyscalls();

// Waits for events on fd until endMs on the active clock; an interrupted
// wait goes on for what is left. Returns poll's result (0: time-out), with
// the events seen in *revents.
int PollSocketUntil(RfcommSyscalls& sys, int fd, short events, int64_t endMs, short* revents);

}  // namespace rtq
