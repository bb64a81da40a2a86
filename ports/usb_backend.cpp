#include "ports/usb_backend.h"

#include <atomic>

#include "ports/linux/linux_usb_backend.h"

namespace rtq {

namespace {
std::atomic<IUsbBackend*> g_usbBackend{nullptr};

IUsbBackend& LinuxBackend() {
    static LinuxUsbBackend linuxBackend;
    return linuxBackend;
}

}  // namespace

IUsbBackend& UsbBackend() {
    IUsbBackend* b = g_usbBackend.load();
    return b ? *b : LinuxBackend();
}

void SetUsbBackend(IUsbBackend* backend) { g_usbBackend.store(backend); }

bool ReplaceUsbBackend(IUsbBackend* expected, IUsbBackend* next) {
    IUsbBackend* stored = g_usbBackend.load();
    if ((stored ? stored : &LinuxBackend()) != expected) return false;
    return g_usbBackend.compare_exchange_strong(stored, next);
}

}  // namespace rtq
