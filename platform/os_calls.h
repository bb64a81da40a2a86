#pragma once
// Small system calls whose form differs between the operating systems;
// the bodies sit in the OS folders.

#include <ctime>
#include <string>

namespace rtq {

// The calendar time of seconds since the epoch, in UTC.
void UtcTime(std::time_t seconds, std::tm* out);
long ProcessId();

}  // namespace rtq
