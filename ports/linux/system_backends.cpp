#include "ports/system_backends.h"

#include "ports/linux/link_router_backend.h"
#include "ports/linux/linux_serial_backend.h"
#include "ports/linux/linux_usb_backend.h"
#include "ports/linux/rfcomm_backend.h"

namespace rtq {

// A Bluetooth printer's address goes to its RFCOMM stream, every other
// name to the serial device.
ISerialBackend& SystemSerialBackend() {
    static LinuxSerialBackend ttyBackend;
    static RfcommBackend rfcommBackend;
    static LinkRouterBackend backend(ttyBackend, rfcommBackend);
    return backend;
}

IUsbBackend& SystemUsbBackend() {
    static LinuxUsbBackend backend;
    return backend;
}

}  // namespace rtq
