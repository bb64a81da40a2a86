#pragma once
// A terminal device that already exists (the printer's end of a USB-serial
// adapter, such as /dev/ttyGS0), opened non-blocking in raw mode so that
// binary frames pass untouched.

#include <cstdint>
#include <string>

namespace rtq::sim {

// Opens the device and puts it in raw mode; -1 with errno on failure
// (ENOTTY for a path that is no terminal).
int OpenRawTty(const std::string& path);

enum class TtyWait { Open, Stopped, TimedOut, NotATerminal };

// Tries to open the device every 100 ms until it opens (*fd), stopFd
// becomes readable or timeoutMs passed (*lastErrno tells why the last try
// failed). A path that opens but is no terminal is not retried.
TtyWait WaitForTty(const std::string& path, int stopFd, int64_t timeoutMs, int* fd,
                   int* lastErrno);

}  // namespace rtq::sim
