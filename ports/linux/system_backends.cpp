#include "ports/system_backends.h"

#include "ports/linux/linux_serial_backend.h"
#include "ports/linux/linux_usb_backend.h"

namespace rtq {

ISerialBackend& SystemSerialBackend() {
    static LinuxSerialBackend backend;
    return backend;
}

IUsbBackend& SystemUsbBackend() {
    static LinuxUsbBackend backend;
    return backend;
}

}  // namespace rtq
