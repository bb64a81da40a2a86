#pragma once
// A USB backend that forwards every call to another one and writes each
// call but the waits for input to the wire trace. Writes and reads come
// from different threads; the trace writer keeps their lines whole.

#include <atomic>

#include "ports/usb_backend.h"

namespace rtq {

class TracedUsbBackend final : public IUsbBackend {
public:
    // The backend calls go to; calls already in progress keep the one they
    // started with.
    void SetInner(IUsbBackend* inner) { m_inner.store(inner); }
    IUsbBackend* Inner() const { return m_inner.load(); }

    bool FindDevicePath(std::string* path) override;
    HANDLE Open(const std::string& path) override;
    bool GetDeviceId(HANDLE h) override;
    bool GetPortStatus(HANDLE h) override;
    UsbWriteStatus Write(HANDLE h, const uint8_t* data, size_t len, size_t* written) override;
    // Not traced: the receive thread polls it many times a second.
    bool WaitReadable(HANDLE h, int64_t timeoutMs) override;
    bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) override;
    void Close(HANDLE h) override;

private:
    std::atomic<IUsbBackend*> m_inner{nullptr};
};

}  // namespace rtq
