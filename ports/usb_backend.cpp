#include "ports/usb_backend.h"

#include <atomic>
#include <cerrno>

#include "platform/last_error.h"

namespace rtq {

namespace {

// Stands in until a real USB backend exists: there is never a device.
class NoUsbBackend final : public IUsbBackend {
public:
    bool FindDevicePath(std::string* path) override {
        if (path) path->clear();
        return false;
    }
    HANDLE Open(const std::string&) override {
        SetLastErrorFromErrno(ENODEV);
        return INVALID_HANDLE_VALUE;
    }
    bool GetDeviceId(HANDLE) override { return Fail(); }
    bool GetPortStatus(HANDLE) override { return Fail(); }
    UsbWriteStatus Write(HANDLE, const uint8_t*, size_t,
                         size_t* written) override {
        if (written) *written = 0;
        SetLastErrorFromErrno(ENODEV);
        return UsbWriteStatus::Error;
    }
    // No handle is ever valid, so an error is always waiting: a reader
    // learns it from Read at once instead of waiting out its time-outs.
    bool WaitReadable(HANDLE, int64_t) override { return true; }
    bool Read(HANDLE, uint8_t*, size_t, size_t* got) override {
        if (got) *got = 0;
        return Fail();
    }
    void Close(HANDLE) override {}

private:
    static bool Fail() {
        SetLastErrorFromErrno(ENODEV);
        return false;
    }
};

std::atomic<IUsbBackend*> g_usbBackend{nullptr};

}  // namespace

IUsbBackend& UsbBackend() {
    IUsbBackend* b = g_usbBackend.load();
    if (b) return *b;
    static NoUsbBackend none;
    return none;
}

void SetUsbBackend(IUsbBackend* backend) { g_usbBackend.store(backend); }

}  // namespace rtq
