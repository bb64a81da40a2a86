#pragma once
// The serial backend on Windows: the COM port's own handle, line settings
// and time-outs, with output held back while the printer keeps DSR low.

#include <cstdint>
#include <memory>
#include <string>

#include "ports/handle_table.h"
#include "ports/serial_backend.h"
#include "ports/win32/serial_api.h"

namespace rtq {

class Win32SerialBackend final : public ISerialBackend {
public:
    // api: the system calls (tests pass one that fails on demand).
    explicit Win32SerialBackend(win32::SerialApi& api = win32::SystemSerialApi());
    ~Win32SerialBackend() override;
    Win32SerialBackend(const Win32SerialBackend&) = delete;
    Win32SerialBackend& operator=(const Win32SerialBackend&) = delete;

    // name: "COMn", "\\.\COMn" or any other device path.
    HANDLE Open(const std::string& name) override;
    bool GetState(HANDLE h, DCB* dcb) override;
    bool SetState(HANDLE h, const DCB& dcb) override;
    bool GetTimeouts(HANDLE h, COMMTIMEOUTS* t) override;
    bool SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) override;
    bool Write(HANDLE h, const uint8_t* data, size_t len, size_t* written) override;
    bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) override;
    bool PurgeInput(HANDLE h) override;
    void Close(HANDLE h) override;

    // Output goes out in pieces of at most this many bytes, DSR being
    // tested before each.
    static constexpr size_t kChunkBytes = 256;
    // How often a low DSR is looked at again.
    static constexpr int64_t kDsrPollMs = 5;

private:
    struct Port;
    std::shared_ptr<Port> Find(HANDLE h);
    bool Fail(const Port& port);

    win32::SerialApi& m_api;
    HandleTable<Port> m_ports;
};

}  // namespace rtq
