#include "platform/os_calls.h"

#include <io.h>
#include <process.h>

namespace rtq {

void UtcTime(std::time_t seconds, std::tm* out) { gmtime_s(out, &seconds); }

long ProcessId() { return static_cast<long>(_getpid()); }

}  // namespace rtq
