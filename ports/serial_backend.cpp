#include "ports/serial_backend.h"

#include <atomic>

#include "ports/linux/link_router_backend.h"
#include "ports/linux/linux_serial_backend.h"
#include "ports/linux/rfcomm_backend.h"

namespace rtq {

namespace {
std::atomic<ISerialBackend*> g_serialBackend{nullptr};

ISerialBackend& LinuxBackend() {
    static LinuxSerialBackend ttyBackend;
    static RfcommBackend rfcommBackend;
    static LinkRouterBackend linuxBackend(ttyBackend, rfcommBackend);
    return linuxBackend;
}

}  // namespace

ISerialBackend& SerialBackend() {
    ISerialBackend* b = g_serialBackend.load();
    return b ? *b : LinuxBackend();
}

void SetSerialBackend(ISerialBackend* backend) { g_serialBackend.store(backend); }

bool ReplaceSerialBackend(ISerialBackend* expected, ISerialBackend* next) {
    ISerialBackend* stored = g_serialBackend.load();
    if ((stored ? stored : &LinuxBackend()) != expected) return false;
    return g_serialBackend.compare_exchange_strong(stored, next);
}

}  // namespace rtq
