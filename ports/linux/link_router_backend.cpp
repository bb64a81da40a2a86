#include "ports/linux/link_router_backend.h"

#include "ports/bluetooth_address.h"

namespace rtq {

ISerialBackend& LinkRouterBackend::For(HANDLE h) {
    if (m_rfcomm.Issued(h)) return m_rfcomm;
    return m_tty;
}

HANDLE LinkRouterBackend::Open(const std::string& name) {
    return IsBluetoothTarget(name) ? m_rfcomm.Open(name) : m_tty.Open(name);
}

bool LinkRouterBackend::Reserve(const std::string& name) {
    return IsBluetoothTarget(name) ? m_rfcomm.Reserve(name) : m_tty.Reserve(name);
}

void LinkRouterBackend::Unreserve(const std::string& name) {
    if (IsBluetoothTarget(name))
        m_rfcomm.Unreserve(name);
    else
        m_tty.Unreserve(name);
}

}  // namespace rtq
