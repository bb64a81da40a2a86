#include "ports/serial_backend.h"

#include <atomic>

#include "ports/system_backends.h"

namespace rtq {

namespace {
std::atomic<ISerialBackend*> g_serialBackend{nullptr};
}  // namespace

ISerialBackend& SerialBackend() {
    ISerialBackend* b = g_serialBackend.load();
    return b ? *b : SystemSerialBackend();
}

void SetSerialBackend(ISerialBackend* backend) { g_serialBackend.store(backend); }

bool ReplaceSerialBackend(ISerialBackend* expected, ISerialBackend* next) {
    ISerialBackend* stored = g_serialBackend.load();
    if ((stored ? stored : &SystemSerialBackend()) != expected) return false;
    return g_serialBackend.compare_exchange_strong(stored, next);
}

}  // namespace rtq
