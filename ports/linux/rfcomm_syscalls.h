#pragma once
// The socket calls beneath the RFCOMM backend, behind one object so that
// tests can stand a socket pair in for the printer and make connect fail as
// the radio does (printer out of reach, no serial port service, refused),
// and answer the service lookup.
// Poll, close and the retry rule are DeviceSyscalls'.

#include <sys/socket.h>

#include <array>
#include <cstdint>

#include "ports/linux/device_syscalls.h"

namespace rtq {

class RfcommSyscalls : public DeviceSyscalls {
public:
    // A non-blocking RFCOMM stream socket (AF_BLUETOOTH, BTPROTO_RFCOMM)
    // that asks for an encrypted link.
    virtual int Socket();
    virtual int Connect(int fd, const sockaddr* addr, socklen_t len);
    // The error a non-blocking connect ended with (SO_ERROR); -1 when it
    // cannot be read.
    virtual int PendingError(int fd);
    // send without SIGPIPE: a printer that hung up fails the call instead.
    virtual ssize_t Send(int fd, const void* buf, size_t n);
    virtual ssize_t Recv(int fd, void* buf, size_t n, int flags);
    // The channel of the device's serial port service (ports/linux/sdp_query.h).
    virtual int SerialPortChannel(const std::array<uint8_t, 6>& address, int64_t endMs,
                                  uint8_t* channel);
};

// The real calls.
RfcommSyscalls& SystemRfcommSyscalls();

}  // namespace rtq
