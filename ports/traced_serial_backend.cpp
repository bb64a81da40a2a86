#include "ports/traced_serial_backend.h"

#include "platform/clock.h"
#include "ports/trace_calls.h"
#include "ports/wire_trace_writer.h"

namespace rtq {

namespace {

constexpr const char* kLink = "ser";

using TraceEvent = WireTraceWriter::Event;

const char* OnOff(uint32_t flag) { return flag ? "on" : "off"; }

// A named value, or its number when it has no name.
void Named(TraceEvent& ev, const char* key, uint32_t value, std::initializer_list<const char*> names) {
    if (value < names.size())
        ev->Pair(key, names.begin()[value]);
    else
        ev->Number(key, value);
}

void Settings(TraceEvent& ev, const DCB& dcb) {
    ev->Number("baud", dcb.BaudRate);
    ev->Number("data", dcb.ByteSize);
    Named(ev, "parity", dcb.Parity, {"none", "odd", "even", "mark", "space"});
    Named(ev, "stop", dcb.StopBits, {"1", "1.5", "2"});
    ev->Pair("parity-check", OnOff(dcb.fParity));
    Named(ev, "dtr", dcb.fDtrControl, {"off", "on", "handshake"});
    Named(ev, "rts", dcb.fRtsControl, {"off", "on", "handshake", "toggle"});
    ev->Pair("dsr-flow", OnOff(dcb.fOutxDsrFlow));
    ev->Pair("cts-flow", OnOff(dcb.fOutxCtsFlow));
    ev->Pair("xon-out", OnOff(dcb.fOutX));
    ev->Pair("xon-in", OnOff(dcb.fInX));
}

void Milliseconds(TraceEvent& ev, const char* key, uint32_t ms) {
    if (ms == MAXDWORD)
        ev->Pair(key, "max");
    else
        ev->Number(key, ms);
}

}  // namespace

HANDLE TracedSerialBackend::Open(const std::string& name) {
    const int64_t start = MonotonicUs();
    const HANDLE h = Inner()->Open(name);
    TraceCall(kLink, h, "open", start, h != INVALID_HANDLE_VALUE, &name);
    return h;
}

bool TracedSerialBackend::GetState(HANDLE h, DCB* dcb) { return Inner()->GetState(h, dcb); }

bool TracedSerialBackend::SetState(HANDLE h, const DCB& dcb) {
    const int64_t start = MonotonicUs();
    const bool ok = Inner()->SetState(h, dcb);
    TraceEvent ev(kLink, h, "dcb", start, TraceResult(ok));
    if (!ev) return ok;
    Settings(ev, dcb);
    if (!ok) ev.Error();
    return ok;
}

bool TracedSerialBackend::GetTimeouts(HANDLE h, COMMTIMEOUTS* t) {
    return Inner()->GetTimeouts(h, t);
}

bool TracedSerialBackend::SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) {
    const int64_t start = MonotonicUs();
    const bool ok = Inner()->SetTimeouts(h, t);
    TraceEvent ev(kLink, h, "times", start, TraceResult(ok));
    if (!ev) return ok;
    Milliseconds(ev, "rd-interval", t.ReadIntervalTimeout);
    Milliseconds(ev, "rd-mult", t.ReadTotalTimeoutMultiplier);
    Milliseconds(ev, "rd-const", t.ReadTotalTimeoutConstant);
    Milliseconds(ev, "wr-mult", t.WriteTotalTimeoutMultiplier);
    Milliseconds(ev, "wr-const", t.WriteTotalTimeoutConstant);
    if (!ok) ev.Error();
    return ok;
}

bool TracedSerialBackend::Write(HANDLE h, const uint8_t* data, size_t len, size_t* written) {
    const int64_t start = MonotonicUs();
    const bool ok = Inner()->Write(h, data, len, written);
    TraceTransfer(kLink, h, "tx", start, TraceResult(ok), !ok, data, len, *written);
    return ok;
}

bool TracedSerialBackend::Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) {
    const int64_t start = MonotonicUs();
    const bool ok = Inner()->Read(h, buf, len, got);
    TraceTransfer(kLink, h, "rx", start, TraceResult(ok), !ok, buf, len, *got);
    return ok;
}

bool TracedSerialBackend::PurgeInput(HANDLE h) {
    const int64_t start = MonotonicUs();
    return TraceCall(kLink, h, "purge", start, Inner()->PurgeInput(h));
}

void TracedSerialBackend::Close(HANDLE h) {
    const int64_t start = MonotonicUs();
    Inner()->Close(h);
    TraceCall(kLink, h, "close", start, true);
}

bool TracedSerialBackend::Reserve(const std::string& name) {
    const int64_t start = MonotonicUs();
    return TraceCall(kLink, 0, "reserve", start, Inner()->Reserve(name), &name);
}

void TracedSerialBackend::Unreserve(const std::string& name) {
    const int64_t start = MonotonicUs();
    Inner()->Unreserve(name);
    TraceCall(kLink, 0, "unreserve", start, true, &name);
}

}  // namespace rtq
