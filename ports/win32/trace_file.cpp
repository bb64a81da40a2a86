#include "ports/trace_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/win32/system_error.h"

namespace rtq {

namespace {

// A name in the device namespace (\\.\COM17, \\.\pipe\x, \\?\...) is never
// opened as a trace: opening a port would take it from the run.
bool DeviceName(const std::string& path) {
    return path.rfind("\\\\.\\", 0) == 0 || path.rfind("\\\\?\\", 0) == 0 ||
           path.rfind("//./", 0) == 0;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// The identity of an existing file, links followed, without reading it.
bool Identity(const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    if (path.empty() || DeviceName(path)) return false;
    const HANDLE h = CreateFileA(path.c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, info) != 0;
    CloseHandle(h);
    return ok;
}

}  // namespace

int OpenTraceFile(const std::string& path, const std::vector<NotATraceFile>& others,
                  std::string* error) {
    const auto fail = [&](const std::string& why) {
        if (error) *error = "cannot use the trace file " + path + ": " + why;
        return -1;
    };
    if (DeviceName(path)) return fail("it is not a regular file");
    // Appending only; the file's access follows its folder's, which on
    // Windows is the user's own profile by default.
    const HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (error) *error = "cannot open the trace file " + path + ": " + SystemErrorText(code);
        return -1;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    std::string why;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        why = "it is not a regular file";
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        why = "it is a symbolic link";
    for (const NotATraceFile& other : others) {
        BY_HANDLE_FILE_INFORMATION otherInfo{};
        if (why.empty() && Identity(other.path, &otherInfo) && SameFile(info, otherInfo))
            why = "it is " + other.what;
    }
    if (!why.empty()) {
        CloseHandle(h);
        return fail(why);
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_APPEND | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return fail("no descriptor for it");
    }
    return fd;
}

}  // namespace rtq
