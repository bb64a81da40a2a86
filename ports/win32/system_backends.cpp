#include "ports/system_backends.h"

#include "ports/win32/win32_serial_backend.h"
#include "ports/win32/win32_usb_backend.h"

namespace rtq {

ISerialBackend& SystemSerialBackend() {
    static Win32SerialBackend backend;
    return backend;
}

IUsbBackend& SystemUsbBackend() {
    static Win32UsbBackend backend;
    return backend;
}

}  // namespace rtq
