#include "platform/os_calls.h"

#include <fcntl.h>
#include <unistd.h>

namespace rtq {

int OpenAppendFile(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

void UtcTime(std::time_t seconds, std::tm* out) { gmtime_r(&seconds, out); }

long ProcessId() { return static_cast<long>(getpid()); }

}  // namespace rtq
