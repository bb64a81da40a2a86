#pragma once
// The system calls beneath the Linux serial backend, behind one object so
// that tests can make any of them fail as hardware does (EINTR anywhere,
// EAGAIN and short writes, EIO or ENXIO from an adapter pulled out, a DSR
// line that stays low). The retry rule is DeviceSyscalls'.

#include <termios.h>

#include "ports/linux/device_syscalls.h"

namespace rtq {

class SerialSyscalls : public DeviceSyscalls {
public:
    virtual int TcGetAttr(int fd, termios* t);
    virtual int TcSetAttr(int fd, int action, const termios* t);
    virtual int TcFlush(int fd, int queue);
    virtual int TcDrain(int fd);
    virtual int Flock(int fd, int operation);
};

// The real calls.
SerialSyscalls& SystemSerialSyscalls();

}  // namespace rtq
