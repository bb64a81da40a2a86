#include "platform/win32/system_error.h"

#include <windows.h>

#include <cerrno>

#include "platform/last_error.h"

namespace rtq {

std::string SystemErrorText(uint32_t code) {
    char buf[512];
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, buf, sizeof buf, nullptr);
    std::string text(buf, n);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
            text.back() == '.'))
        text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
}

int ErrnoClassOf(uint32_t code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return EBUSY;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        case ERROR_INVALID_PARAMETER:
            return EINVAL;
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_NOT_READY:
            return ENODEV;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        default:
            return EIO;
    }
}

void SetLastErrorFromSystem(uint32_t code, int errnoClass, const std::string& path) {
    SetLastError(LastError{SystemErrorText(code), errnoClass, path});
}

void SetLastErrorFromSystem(uint32_t code, const std::string& path) {
    SetLastErrorFromSystem(code, ErrnoClassOf(code), path);
}

}  // namespace rtq
