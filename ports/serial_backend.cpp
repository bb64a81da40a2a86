#include "ports/serial_backend.h"

#include <atomic>

#include "ports/linux/linux_serial_backend.h"

namespace rtq {

namespace {
std::atomic<ISerialBackend*> g_serialBackend{nullptr};
}  // namespace

ISerialBackend& SerialBackend() {
    ISerialBackend* b = g_serialBackend.load();
    if (b) return *b;
    static LinuxSerialBackend linuxBackend;
    return linuxBackend;
}

void SetSerialBackend(ISerialBackend* backend) { g_serialBackend.store(backend); }

}  // namespace rtq
