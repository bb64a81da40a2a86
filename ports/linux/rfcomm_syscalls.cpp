#include "ports/linux/rfcomm_syscalls.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <unistd.h>

#include <cerrno>

#include "ports/linux/sdp_query.h"

namespace rtq {

int RfcommSyscalls::Socket() {
    const int fd = socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, BTPROTO_RFCOMM);
    if (fd < 0) return fd;
    // An encrypted link before the channel is asked for: a printer refuses
    // it on a link that is not encrypted yet (as right after the service
    // lookup, which needs none), and paired printers have the key.
    bt_security security{};
    security.level = BT_SECURITY_MEDIUM;
    if (setsockopt(fd, SOL_BLUETOOTH, BT_SECURITY, &security, sizeof security) != 0) {
        const int err = errno;
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
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

int RfcommSyscalls::SerialPortChannel(const std::array<uint8_t, 6>& address, int64_t endMs,
                                      uint8_t* channel) {
    return QuerySerialPortChannel(*this, address, endMs, channel);
}

RfcommSyscalls& SystemRfcommSyscalls() {
    static RfcommSyscalls calls;
    return calls;
}

}  // namespace rtq
