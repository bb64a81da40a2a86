#pragma once
// The system calls beneath the Linux USB printer backend, behind one
// object so that tests can make any of them fail as the device does (EINTR
// anywhere, ENODEV or EIO from a printer that went away). The retry rule
// is DeviceSyscalls'.

#include "ports/linux/device_syscalls.h"

namespace rtq {

class UsbSyscalls : public DeviceSyscalls {
public:
    // fcntl F_GETFL and F_SETFL.
    virtual int GetFlags(int fd);
    virtual int SetFlags(int fd, int flags);
};

// The real calls.
UsbSyscalls& SystemUsbSyscalls();

}  // namespace rtq
