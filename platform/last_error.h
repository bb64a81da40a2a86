#pragma once
// The system's text for the last failure that a result code will show
// (the portable stand-in for GetLastError and FormatMessageA). Captured
// where the failing call was made; read by whoever reports the result,
// possibly on another thread.

#include <string>

namespace rtq {

void SetLastErrorText(const std::string& text);
// Stores strerror(err).
void SetLastErrorFromErrno(int err);
std::string LastErrorText();

}  // namespace rtq
