#pragma once
// The Linux serial backend the port uses: a Bluetooth address goes to the
// RFCOMM stream backend, any other name (COMn, a device path such as a
// bound /dev/rfcommN) to the tty backend. Calls on a handle go to the
// backend that issued it.

#include "ports/linux/rfcomm_backend.h"
#include "ports/serial_backend.h"

namespace rtq {

class LinkRouterBackend final : public ISerialBackend {
public:
    LinkRouterBackend(ISerialBackend& tty, RfcommBackend& rfcomm) : m_tty(tty), m_rfcomm(rfcomm) {}

    HANDLE Open(const std::string& name) override;
    bool GetState(HANDLE h, DCB* dcb) override { return For(h).GetState(h, dcb); }
    bool SetState(HANDLE h, const DCB& dcb) override { return For(h).SetState(h, dcb); }
    bool GetTimeouts(HANDLE h, COMMTIMEOUTS* t) override { return For(h).GetTimeouts(h, t); }
    bool SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) override {
        return For(h).SetTimeouts(h, t);
    }
    bool Write(HANDLE h, const uint8_t* data, size_t len, size_t* written) override {
        return For(h).Write(h, data, len, written);
    }
    bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) override {
        return For(h).Read(h, buf, len, got);
    }
    bool PurgeInput(HANDLE h) override { return For(h).PurgeInput(h); }
    void Close(HANDLE h) override { For(h).Close(h); }
    bool Reserve(const std::string& name) override;
    void Unreserve(const std::string& name) override;

private:
    ISerialBackend& For(HANDLE h);

    ISerialBackend& m_tty;
    RfcommBackend& m_rfcomm;
};

}  // namespace rtq
