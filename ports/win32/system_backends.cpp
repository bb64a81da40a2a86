#include "ports/system_backends.h"

#include <cerrno>

#include "platform/last_error.h"
#include "ports/win32/win32_serial_backend.h"

namespace rtq {

namespace {

// Stands in until the Windows USB printer body exists: finds no printer,
// so a USB run ends with the "printer not found" failure and its hint.
class NoUsbBackend final : public IUsbBackend {
public:
    bool FindDevicePath(std::string*) override { return None(); }
    HANDLE Open(const std::string&) override {
        None();
        return INVALID_HANDLE_VALUE;
    }
    bool GetDeviceId(HANDLE) override { return None(); }
    bool GetPortStatus(HANDLE) override { return None(); }
    UsbWriteStatus Write(HANDLE, const uint8_t*, size_t, size_t* written) override {
        *written = 0;
        None();
        return UsbWriteStatus::Error;
    }
    bool WaitReadable(HANDLE, int64_t) override { return None(); }
    bool Read(HANDLE, uint8_t*, size_t, size_t* got) override {
        *got = 0;
        return None();
    }
    void Close(HANDLE) override {}

private:
    static bool None() {
        SetLastError(LastError{"no USB printer support in this build", ENOSYS, {}});
        return false;
    }
};

}  // namespace

ISerialBackend& SystemSerialBackend() {
    static Win32SerialBackend backend;
    return backend;
}

IUsbBackend& SystemUsbBackend() {
    static NoUsbBackend backend;
    return backend;
}

}  // namespace rtq
