#include "ports/trace_calls.h"

#include <algorithm>

#include "ports/wire_trace_writer.h"

namespace rtq {

const char* TraceResult(bool ok) { return ok ? "ok" : "fail"; }

bool TraceCall(const char* link, HANDLE h, const char* event, int64_t startUs, bool ok,
               const std::string* name) {
    WireTraceWriter::Event ev(link, h, event, startUs, TraceResult(ok));
    if (!ev) return ok;
    if (name) ev->Quoted("", *name);
    if (!ok) ev.Error();
    return ok;
}

void TraceTransfer(const char* link, HANDLE h, const char* event, int64_t startUs,
                   const char* result, bool failed, const uint8_t* bytes, size_t asked,
                   size_t done) {
    WireTraceWriter::Event ev(link, h, event, startUs, result);
    if (!ev) return;
    ev->Transfer(std::min(done, asked), asked, bytes);
    if (failed) ev.Error();
}

}  // namespace rtq
