#pragma once
// The serial backend on Linux: a tty device in raw mode, opened
// exclusively, with the Windows line settings and read/write time-outs
// mapped onto termios, poll and the modem lines.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "ports/handle_table.h"
#include "ports/linux/serial_syscalls.h"
#include "ports/serial_backend.h"

namespace rtq {

class LinuxSerialBackend final : public ISerialBackend {
public:
    // sys: the system calls (tests pass one that fails as hardware does).
    explicit LinuxSerialBackend(SerialSyscalls& sys = SystemSerialSyscalls());
    ~LinuxSerialBackend() override;
    LinuxSerialBackend(const LinuxSerialBackend&) = delete;
    LinuxSerialBackend& operator=(const LinuxSerialBackend&) = delete;

    // name: a port name ("COMn", "\\.\COMn") or a device path.
    HANDLE Open(const std::string& name) override;
    bool GetState(HANDLE h, DCB* dcb) override;
    bool SetState(HANDLE h, const DCB& dcb) override;
    bool GetTimeouts(HANDLE h, COMMTIMEOUTS* t) override;
    bool SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) override;
    bool Write(HANDLE h, const uint8_t* data, size_t len,
               size_t* written) override;
    bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) override;
    bool PurgeInput(HANDLE h) override;
    void Close(HANDLE h) override;
    // Through the port's lock file, which other serial programs honour.
    bool Reserve(const std::string& name) override;
    void Unreserve(const std::string& name) override;

    // Output goes out in pieces of at most this many bytes, DSR being
    // tested before each.
    static constexpr size_t kChunkBytes = 256;
    // How often a low DSR is looked at again.
    static constexpr int64_t kDsrPollMs = 5;

private:
    struct Port;
    // The open port of a handle this backend issued, or null. A call in
    // progress keeps its port (and descriptor) alive across a Close.
    std::shared_ptr<Port> Find(HANDLE h);

    SerialSyscalls& m_sys;
    HandleTable<Port> m_ports;
    std::mutex m_mutex;  // guards m_reservations
    // Lock keys of the reservations, by port name.
    std::multimap<std::string, std::string> m_reservations;
};

// termios speed constant of a baud rate; false when there is none.
bool BaudToSpeed(uint32_t baud, unsigned* speed);

}  // namespace rtq
