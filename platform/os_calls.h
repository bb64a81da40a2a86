#pragma once
// Small system calls whose form differs between the operating systems;
// the bodies sit in the OS folders.

#include <ctime>
#include <string>

namespace rtq {

// Opens (creating it, 0644 where that means something) a file for
// appending, not inherited by child processes; -1 with errno set on failure.
int OpenAppendFile(const std::string& path);
// The calendar time of seconds since the epoch, in UTC.
void UtcTime(std::time_t seconds, std::tm* out);
long ProcessId();

}  // namespace rtq
