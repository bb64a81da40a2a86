#pragma once
// The trace lines the traced backends have in common, one per call: a
// call with its result and, when given, the name it was made on; a
// transfer with its bytes. A failure carries the system's error text.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/types.h"

namespace rtq {

const char* TraceResult(bool ok);

// "EVENT ok|fail" with the name quoted (when given); returns ok.
bool TraceCall(const char* link, HANDLE h, const char* event, int64_t startUs, bool ok,
               const std::string* name = nullptr);

// "tx"/"rx" with done/asked and the bytes; failed adds the error text.
void TraceTransfer(const char* link, HANDLE h, const char* event, int64_t startUs,
                   const char* result, bool failed, const uint8_t* bytes, size_t asked,
                   size_t done);

}  // namespace rtq
