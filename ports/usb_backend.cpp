#include "ports/usb_backend.h"

#include <atomic>

#include "ports/linux/linux_usb_backend.h"

namespace rtq {

namespace {
std::atomic<IUsbBackend*> g_usbBackend{nullptr};
}  // namespace

IUsbBackend& UsbBackend() {
    IUsbBackend* b = g_usbBackend.load();
    if (b) return *b;
    static LinuxUsbBackend linuxBackend;
    return linuxBackend;
}

void SetUsbBackend(IUsbBackend* backend) { g_usbBackend.store(backend); }

}  // namespace rtq
