#include "ports/linux/rfcomm_syscalls.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/clock.h"

namespace rtq {

int RfcommSyscalls::Socket() {
    return socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, BTPROTO_RFCOMM);
}

int RfcommSyscalls::Connect(int fd, const sockaddr* addr, socklen_t len) {
    return connect(fd, addr, len);
}

int RfcommSyscalls::PendingError(int fd) {
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return -1;
    return err;
}

ssize_t RfcommSyscalls::Send(int fd, const void* buf, size_t n) {
    return send(fd, buf, n, MSG_NOSIGNAL);
}

ssize_t RfcommSyscalls::Recv(int fd, void* buf, size_t n, int flags) {
    return recv(fd, buf, n, flags);
}

int RfcommSyscalls::Poll(pollfd* fds, nfds_t n, int timeoutMs) { return poll(fds, n, timeoutMs); }

int RfcommSyscalls::Close(int fd) { return close(fd); }

RfcommSyscalls& SystemRfcommSyscalls() {
    static RfcommSyscalls calls;
    return calls;
}

int PollSocketUntil(RfcommSyscalls& sys, int fd, short events, int64_t endMs, short* revents) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int waitMs = static_cast<int>(std::clamp<int64_t>(endMs - SteadyMs(), 0, INT_MAX));
        const int r = sys.Poll(&p, 1, waitMs);
        if (r < 0 && errno == EINTR) continue;
        *revents = p.revents;
        return r;
    }
}

}  // namespace rtq
