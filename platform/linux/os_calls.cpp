#include "platform/os_calls.h"

#include <unistd.h>

namespace rtq {

void UtcTime(std::time_t seconds, std::tm* out) { gmtime_r(&seconds, out); }

long ProcessId() { return static_cast<long>(getpid()); }

}  // namespace rtq
