#pragma once
// The system's text for the last failure that a result code will show
// (the portable stand-in for GetLastError and FormatMessageA). Each thread
// keeps its own: two threads failing at once cannot mix their causes.
// Captured where the failing call was made; a result reported on another
// thread carries the cause with it (LastErrorDetails on the failing
// thread, SetLastError on the reporting one). Where it is known, the error
// number and the path the call was made on are kept too, for the hint
// that says why.

#include <string>

namespace rtq {

struct LastError {
    std::string text;
    int number = 0;    // errno; 0 when the failure had none
    std::string path;  // the device or file; empty when unknown
};

void SetLastErrorText(const std::string& text);
// Stores a cause as it is, such as one the program found itself (no error
// number) that still belongs to a file, or one handed over by another
// thread.
void SetLastError(const LastError& error);
// Stores the system's text for err, err and the path.
void SetLastErrorFromErrno(int err, const std::string& path = {});
// This thread's last cause.
std::string LastErrorText();
LastError LastErrorDetails();

// The system's text for an error number; safe on any thread.
std::string ErrnoText(int err);

}  // namespace rtq
