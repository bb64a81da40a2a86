#pragma once
// The open ports of a backend by handle: handles are numbers this table
// issues (never 0 or INVALID_HANDLE_VALUE), each mapped to a shared port
// object, so that a call in progress keeps its port alive across a Close.

#include <map>
#include <memory>
#include <mutex>

#include "platform/types.h"

namespace rtq {

template <class Port>
class HandleTable {
public:
    explicit HandleTable(HANDLE first) : m_next(first) {}

    HANDLE Add(std::shared_ptr<Port> port) {
        std::lock_guard<std::mutex> lk(m_mutex);
        HANDLE h = m_next++;
        if (h == 0 || h == INVALID_HANDLE_VALUE) h = m_next++;
        m_ports[h] = std::move(port);
        return h;
    }

    // The port of h, or null when h is not open. enter(port) runs while
    // the port is still in the table, so a Take cannot come in between.
    template <class Enter>
    std::shared_ptr<Port> Find(HANDLE h, Enter enter) {
        std::lock_guard<std::mutex> lk(m_mutex);
        auto it = m_ports.find(h);
        if (it == m_ports.end()) return nullptr;
        enter(*it->second);
        return it->second;
    }
    std::shared_ptr<Port> Find(HANDLE h) {
        return Find(h, [](Port&) {});
    }

    // Removes h and gives its port to the caller; null when h is not open.
    std::shared_ptr<Port> Take(HANDLE h) {
        std::lock_guard<std::mutex> lk(m_mutex);
        auto it = m_ports.find(h);
        if (it == m_ports.end()) return nullptr;
        std::shared_ptr<Port> port = std::move(it->second);
        m_ports.erase(it);
        return port;
    }

private:
    std::mutex m_mutex;
    std::map<HANDLE, std::shared_ptr<Port>> m_ports;
    HANDLE m_next;
};

}  // namespace rtq
