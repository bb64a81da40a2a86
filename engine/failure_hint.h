#pragma once
// The line that goes with a failure's fixed message: what the system knows
// of its cause (the device or file, and the system's reason) and what the
// operator can do. The dialog shows it under the message, the command line
// prints it; both take it from here.

#include <string>

#include "platform/last_error.h"

// Empty where the code has no known cause to add, or the failure left no
// error number behind.
std::string FailureHint(int code, const rtq::LastError& error);

// The same for the failure recorded last.
std::string FailureHint(int code);
