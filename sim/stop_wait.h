#pragma once
// Waits that a stop request (a byte on the stop pipe) cuts short.

#include <cstdint>

namespace rtq::sim {

// Waits up to ms milliseconds (ms < 0: without limit) for stopFd to become
// readable; true when it did. A negative stopFd is never readable.
bool WaitForStop(int stopFd, int64_t ms);

}  // namespace rtq::sim
