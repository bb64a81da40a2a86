#pragma once
// The USB printer backend on Windows: the printer found through the
// registry's enumeration keys of the known vendor and product ids, opened
// for overlapped I/O. Reads are overlapped requests with at most one
// outstanding per handle; one that is waited for in vain stays pending for
// the next wait and is cancelled when the handle closes. The errors a
// removed printer gives all read as the handle gone, so that the port
// reconnects.

#include <cstdint>
#include <memory>
#include <string>

#include "ports/handle_table.h"
#include "ports/usb_backend.h"
#include "ports/win32/usb_api.h"

namespace rtq {

class Win32UsbBackend final : public IUsbBackend {
public:
    // writeStallMs: a chunk the printer has not taken in this long fails.
    // api: the system calls (tests pass one that fails on demand).
    explicit Win32UsbBackend(int64_t writeStallMs = kWriteStallMs,
                             win32::UsbApi& api = win32::SystemUsbApi());
    ~Win32UsbBackend() override;
    Win32UsbBackend(const Win32UsbBackend&) = delete;
    Win32UsbBackend& operator=(const Win32UsbBackend&) = delete;

    // The first instance, in table order and then in enumeration order,
    // whose device opens (and, with a wanted printer, whose instance name
    // or device path is the one wanted).
    bool FindDevicePath(std::string* path) override;
    HANDLE Open(const std::string& path) override;
    bool GetDeviceId(HANDLE h) override;
    bool GetPortStatus(HANDLE h) override;
    UsbWriteStatus Write(HANDLE h, const uint8_t* data, size_t len,
                         size_t* written) override;
    // Starts a read unless one is outstanding and waits for it; true also
    // when it failed, so that Read reports the failure at once.
    bool WaitReadable(HANDLE h, int64_t timeoutMs) override;
    bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) override;
    void Close(HANDLE h) override;

    static constexpr int64_t kWriteStallMs = 60000;
    static constexpr uint32_t kReadBytes = 4096;
    static constexpr uint32_t kDeviceIdBytes = 100;

private:
    struct Port;
    std::shared_ptr<Port> Find(HANDLE h);
    bool Request(HANDLE h, uint32_t code, uint32_t outLen);

    const int64_t m_writeStallMs;
    win32::UsbApi& m_api;
    HandleTable<Port> m_ports;
};

// Whether a GetLastError code means the printer is gone (unplugged,
// switched off, or its handle no longer valid).
bool UsbDeviceGone(uint32_t code);

}  // namespace rtq
