#include "ports/usb_backend.h"

#include <atomic>

#include "ports/system_backends.h"

namespace rtq {

namespace {
std::atomic<IUsbBackend*> g_usbBackend{nullptr};
}  // namespace

IUsbBackend& UsbBackend() {
    IUsbBackend* b = g_usbBackend.load();
    return b ? *b : SystemUsbBackend();
}

void SetUsbBackend(IUsbBackend* backend) { g_usbBackend.store(backend); }

bool ReplaceUsbBackend(IUsbBackend* expected, IUsbBackend* next) {
    IUsbBackend* stored = g_usbBackend.load();
    if ((stored ? stored : &SystemUsbBackend()) != expected) return false;
    return g_usbBackend.compare_exchange_strong(stored, next);
}

}  // namespace rtq
