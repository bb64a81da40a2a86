#pragma once
// The system's text for the last failure that a result code will show
// (the portable stand-in for GetLastError and FormatMessageA). Captured
// where the failing call was made; read by whoever reports the result,
// possibly on another thread. Where it is known, the error number and the
// path the call was made on are kept too, for the hint that says why.

#include <string>

namespace rtq {

struct LastError {
    std::string text;
    int number = 0;    // errno; 0 when the failure had none
    std::string path;  // the device or file; empty when unknown
};

void SetLastErrorText(const std::string& text);
// Stores a cause as it is, such as one the program found itself (no error
// number) that still belongs to a file.
void SetLastError(const LastError& error);
// Stores strerror(err), err and the path.
void SetLastErrorFromErrno(int err, const std::string& path = {});
std::string LastErrorText();
LastError LastErrorDetails();

}  // namespace rtq
