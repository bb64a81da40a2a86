#include "ports/usb_backend.h"

#include <atomic>
#include <mutex>

#include "ports/system_backends.h"

namespace rtq {

namespace {
std::atomic<IUsbBackend*> g_usbBackend{nullptr};
std::mutex g_wantedMutex;
std::string g_wanted;
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

void SetWantedUsbPrinter(const std::string& wanted) {
    std::lock_guard<std::mutex> lk(g_wantedMutex);
    g_wanted = wanted;
}

std::string WantedUsbPrinter() {
    std::lock_guard<std::mutex> lk(g_wantedMutex);
    return g_wanted;
}

}  // namespace rtq
