#include "ports/traced_usb_backend.h"

#include "platform/clock.h"
#include "ports/trace_calls.h"

namespace rtq {

namespace {

constexpr const char* kLink = "usb";

const char* Result(UsbWriteStatus status) {
    switch (status) {
        case UsbWriteStatus::Ok: return "ok";
        case UsbWriteStatus::InvalidHandle: return "gone";
        default: return "fail";
    }
}

}  // namespace

bool TracedUsbBackend::FindDevicePath(std::string* path) {
    const int64_t start = MonotonicUs();
    const bool ok = Inner()->FindDevicePath(path);
    return TraceCall(kLink, INVALID_HANDLE_VALUE, "find", start, ok, ok ? path : nullptr);
}

HANDLE TracedUsbBackend::Open(const std::string& path) {
    const int64_t start = MonotonicUs();
    const HANDLE h = Inner()->Open(path);
    TraceCall(kLink, h, "open", start, h != INVALID_HANDLE_VALUE, &path);
    return h;
}

bool TracedUsbBackend::GetDeviceId(HANDLE h) {
    const int64_t start = MonotonicUs();
    return TraceCall(kLink, h, "id", start, Inner()->GetDeviceId(h));
}

bool TracedUsbBackend::GetPortStatus(HANDLE h) {
    const int64_t start = MonotonicUs();
    return TraceCall(kLink, h, "status", start, Inner()->GetPortStatus(h));
}

UsbWriteStatus TracedUsbBackend::Write(HANDLE h, const uint8_t* data, size_t len,
                                       size_t* written) {
    const int64_t start = MonotonicUs();
    const UsbWriteStatus status = Inner()->Write(h, data, len, written);
    TraceTransfer(kLink, h, "tx", start, Result(status), status != UsbWriteStatus::Ok, data, len,
                  *written);
    return status;
}

bool TracedUsbBackend::WaitReadable(HANDLE h, int64_t timeoutMs) {
    return Inner()->WaitReadable(h, timeoutMs);
}

bool TracedUsbBackend::Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) {
    const int64_t start = MonotonicUs();
    const bool ok = Inner()->Read(h, buf, len, got);
    TraceTransfer(kLink, h, "rx", start, TraceResult(ok), !ok, buf, len, *got);
    return ok;
}

void TracedUsbBackend::Close(HANDLE h) {
    const int64_t start = MonotonicUs();
    Inner()->Close(h);
    TraceCall(kLink, h, "close", start, true);
}

}  // namespace rtq
