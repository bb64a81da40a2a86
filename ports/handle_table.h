#pragma once
// The open ports of a backend by handle: handles are numbers issued from
// one counter for every table in the process (never 0 or
// INVALID_HANDLE_VALUE), so that no two backends ever hand out the same
// one and a closed handle is never issued again; each maps to a shared
// port object, so that a call in progress keeps its port alive across a
// Close.
//
// The system's own handle values are not used as handles, on Windows
// either: the system reuses a closed value for the next device opened, so
// a thread still holding the old handle (a reader while the port
// reconnects) would reach, or close, the new port.

#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "platform/types.h"

namespace rtq {

// The counter every table issues from, whatever its port type.
inline std::atomic<HANDLE>& NextPortHandle() {
    static std::atomic<HANDLE> next{0x7100};
    return next;
}

template <class Port>
class HandleTable {
public:
    HANDLE Add(std::shared_ptr<Port> port) {
        HANDLE h = NextPortHandle()++;
        if (h == 0 || h == INVALID_HANDLE_VALUE) h = NextPortHandle()++;
        std::lock_guard<std::mutex> lk(m_mutex);
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
};

}  // namespace rtq
