#include "ports/traced_usb_backend.h"

#include <algorithm>

#include "platform/clock.h"
#include "ports/wire_trace_writer.h"

namespace rtq {

namespace {

constexpr const char* kLink = "usb";

using TraceEvent = WireTraceWriter::Event;

const char* Result(bool ok) { return ok ? "ok" : "fail"; }

const char* Result(UsbWriteStatus status) {
    switch (status) {
        case UsbWriteStatus::Ok: return "ok";
        case UsbWriteStatus::InvalidHandle: return "gone";
        default: return "fail";
    }
}

// A request on the device: its result, and the error text when it failed.
bool Request(HANDLE h, const char* event, int64_t start, bool ok) {
    TraceEvent ev(kLink, h, event, start, Result(ok));
    if (ev && !ok) ev.Error();
    return ok;
}

}  // namespace

bool TracedUsbBackend::FindDevicePath(std::string* path) {
    const int64_t start = MonotonicUs();
    const bool ok = Inner()->FindDevicePath(path);
    TraceEvent ev(kLink, INVALID_HANDLE_VALUE, "find", start, Result(ok));
    if (!ev) return ok;
    if (ok && path) ev->Quoted("", *path);
    if (!ok) ev.Error();
    return ok;
}

HANDLE TracedUsbBackend::Open(const std::string& path) {
    const int64_t start = MonotonicUs();
    const HANDLE h = Inner()->Open(path);
    const bool ok = h != INVALID_HANDLE_VALUE;
    TraceEvent ev(kLink, h, "open", start, Result(ok));
    if (!ev) return h;
    ev->Quoted("", path);
    if (!ok) ev.Error();
    return h;
}

bool TracedUsbBackend::GetDeviceId(HANDLE h) {
    const int64_t start = MonotonicUs();
    return Request(h, "id", start, Inner()->GetDeviceId(h));
}

bool TracedUsbBackend::GetPortStatus(HANDLE h) {
    const int64_t start = MonotonicUs();
    return Request(h, "status", start, Inner()->GetPortStatus(h));
}

UsbWriteStatus TracedUsbBackend::Write(HANDLE h, const uint8_t* data, size_t len,
                                       size_t* written) {
    const int64_t start = MonotonicUs();
    const UsbWriteStatus status = Inner()->Write(h, data, len, written);
    TraceEvent ev(kLink, h, "tx", start, Result(status));
    if (!ev) return status;
    ev->Transfer(std::min(*written, len), len, data);
    if (status != UsbWriteStatus::Ok) ev.Error();
    return status;
}

bool TracedUsbBackend::WaitReadable(HANDLE h, int64_t timeoutMs) {
    return Inner()->WaitReadable(h, timeoutMs);
}

bool TracedUsbBackend::Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) {
    const int64_t start = MonotonicUs();
    const bool ok = Inner()->Read(h, buf, len, got);
    TraceEvent ev(kLink, h, "rx", start, Result(ok));
    if (!ev) return ok;
    ev->Transfer(std::min(*got, len), len, buf);
    if (!ok) ev.Error();
    return ok;
}

void TracedUsbBackend::Close(HANDLE h) {
    const int64_t start = MonotonicUs();
    Inner()->Close(h);
    TraceEvent ev(kLink, h, "close", start, "ok");
}

}  // namespace rtq
