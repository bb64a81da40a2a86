#pragma once
// The USB printer backend on Linux: a usblp device node, opened
// non-blocking, waited on with poll. Handles are tokens mapped to open
// descriptors; Close wakes any call waiting on the handle, so a reader is
// let go at once and the node is free to be opened again.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "ports/handle_table.h"
#include "ports/linux/usb_device_lookup.h"
#include "ports/linux/usb_syscalls.h"
#include "ports/usb_backend.h"

namespace rtq {

// A chunk the printer takes no byte of for this long fails instead of
// hanging the run.
constexpr int64_t kUsbWriteStallMs = 60000;

class LinuxUsbBackend final : public IUsbBackend {
public:
    // sys: the system calls (tests pass one that fails as the device does).
    explicit LinuxUsbBackend(int64_t writeStallMs = kUsbWriteStallMs,
                             UsbSyscalls& sys = SystemUsbSyscalls());
    ~LinuxUsbBackend() override;
    LinuxUsbBackend(const LinuxUsbBackend&) = delete;
    LinuxUsbBackend& operator=(const LinuxUsbBackend&) = delete;

    bool FindDevicePath(std::string* path) override;
    HANDLE Open(const std::string& path) override;
    bool GetDeviceId(HANDLE h) override;
    bool GetPortStatus(HANDLE h) override;
    // InvalidHandle when the device is gone (unplugged, hung up, or the
    // handle is not open); Error on a stall or any other failure.
    UsbWriteStatus Write(HANDLE h, const uint8_t* data, size_t len,
                         size_t* written) override;
    // True also when an error or hang-up is waiting, or the handle is not
    // open, so that Read reports it at once.
    bool WaitReadable(HANDLE h, int64_t timeoutMs) override;
    bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) override;
    // Returns once the descriptor is closed (calls waiting on it are woken
    // first); a handle this backend did not issue is ignored.
    void Close(HANDLE h) override;

    // Takes over an open descriptor standing in for a device node and
    // issues a handle for it; INVALID_HANDLE_VALUE (and the descriptor
    // closed) on failure.
    HANDLE Adopt(int fd);
    // What the last FindDevicePath saw, for telling "no printer attached"
    // from "attached but would not open".
    UsbLookupResult LastLookup() const;

    // Size of the buffer the device id is read into.
    static constexpr unsigned kDeviceIdBytes = 100;
    // The longest Close waits for calls in progress to let go.
    static constexpr int64_t kCloseWaitMs = 1000;

private:
    struct Port;
    class Call;
    // The port of a handle this backend issued, held for one call; empty
    // when the handle is not open.
    Call Find(HANDLE h);
    bool Request(HANDLE h, unsigned long request, void* arg);

    const int64_t m_writeStallMs;
    UsbSyscalls& m_sys;
    HandleTable<Port> m_ports;
    mutable std::mutex m_mutex;  // guards m_lastLookup
    UsbLookupResult m_lastLookup;
};

}  // namespace rtq
