#include "ports/linux/usb_syscalls.h"

#include <fcntl.h>

namespace rtq {

int UsbSyscalls::GetFlags(int fd) { return fcntl(fd, F_GETFL); }
int UsbSyscalls::SetFlags(int fd, int flags) { return fcntl(fd, F_SETFL, flags); }

UsbSyscalls& SystemUsbSyscalls() {
    static UsbSyscalls calls;
    return calls;
}

}  // namespace rtq
