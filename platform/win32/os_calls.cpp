#include "platform/os_calls.h"

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

namespace rtq {

int OpenAppendFile(const std::string& path) {
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY | _O_NOINHERIT,
                 _S_IREAD | _S_IWRITE);
}

void UtcTime(std::time_t seconds, std::tm* out) { gmtime_s(out, &seconds); }

long ProcessId() { return static_cast<long>(_getpid()); }

}  // namespace rtq
