#pragma once
// A serial backend that forwards every call to another one and writes each
// call that touches the line or its settings to the wire trace.

#include <atomic>

#include "ports/serial_backend.h"

namespace rtq {

class TracedSerialBackend final : public ISerialBackend {
public:
    // The backend calls go to; calls already in progress keep the one they
    // started with.
    void SetInner(ISerialBackend* inner) { m_inner.store(inner); }
    ISerialBackend* Inner() const { return m_inner.load(); }

    HANDLE Open(const std::string& name) override;
    bool GetState(HANDLE h, DCB* dcb) override;
    bool SetState(HANDLE h, const DCB& dcb) override;
    bool GetTimeouts(HANDLE h, COMMTIMEOUTS* t) override;
    bool SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) override;
    bool Write(HANDLE h, const uint8_t* data, size_t len, size_t* written) override;
    bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) override;
    bool PurgeInput(HANDLE h) override;
    void Close(HANDLE h) override;
    bool Reserve(const std::string& name) override;
    void Unreserve(const std::string& name) override;

private:
    std::atomic<ISerialBackend*> m_inner{nullptr};
};

}  // namespace rtq
