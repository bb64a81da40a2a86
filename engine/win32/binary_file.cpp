#include "engine/binary_file.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>

#include "platform/last_error.h"
#include "platform/win32/system_error.h"

namespace {

bool Fail(DWORD code, const std::string& path) {
    rtq::SetLastErrorFromSystem(code, path);
    return false;
}

HANDLE SystemHandle(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// Identity, length and modification time of an open file.
bool Describe(HANDLE h, uint64_t* dev, uint64_t* ino, int64_t* size, timespec* mtime) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return false;
    *dev = info.dwVolumeSerialNumber;
    *ino = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    *size = static_cast<int64_t>((uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow);
    const uint64_t ticks =
        (uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime;
    mtime->tv_sec = static_cast<time_t>(ticks / 10000000);
    mtime->tv_nsec = static_cast<long>(ticks % 10000000) * 100;
    return true;
}

// Opened so that the operator may still replace or delete the file while a
// run holds it; the change is then noticed.
HANDLE OpenShared(const std::string& path, DWORD access) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

BinaryFile::~BinaryFile() { Close(); }

bool BinaryFile::Open(const std::string& path) {
    Close();
    if (path.empty()) return Fail(ERROR_FILE_NOT_FOUND, path);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Fail(GetLastError(), path);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        rtq::SetLastError({"Is a directory", EISDIR, path});
        return false;
    }
    HANDLE h = OpenShared(path, GENERIC_READ);
    if (h == INVALID_HANDLE_VALUE) return Fail(GetLastError(), path);
    // Devices ("\\.\COM1", "NUL") are no data files, and are not read.
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        rtq::SetLastError({"not a regular file", EINVAL, path});
        return false;
    }
    Stamp st;
    if (!Describe(h, &st.dev, &st.ino, &st.size, &st.mtime)) {
        const DWORD code = GetLastError();
        CloseHandle(h);
        return Fail(code, path);
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        rtq::SetLastError({"too many open files", EMFILE, path});
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_opened = st;
    m_pos = 0;
    return true;
}

void BinaryFile::Close() {
    if (m_fd >= 0) _close(m_fd);
    m_fd = -1;
}

int64_t BinaryFile::Length() const {
    if (m_fd < 0) return -1;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(SystemHandle(m_fd), &size)) return -1;
    return size.QuadPart;
}

bool BinaryFile::Seek(int64_t offset) {
    if (m_fd < 0 || offset < 0) return false;
    m_pos = offset;
    return true;
}

size_t BinaryFile::Read(uint8_t* buf, size_t len) {
    if (m_fd < 0 || !buf || len == 0) return 0;
    const HANDLE h = SystemHandle(m_fd);
    size_t got = 0;
    while (got < len) {
        // A read at an offset, like pread: the file position is not used.
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(static_cast<uint64_t>(m_pos));
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(m_pos) >> 32);
        const DWORD want = static_cast<DWORD>(std::min<size_t>(len - got, 1u << 30));
        DWORD n = 0;
        if (!ReadFile(h, buf + got, want, &n, &at)) {
            const DWORD code = GetLastError();
            if (code != ERROR_HANDLE_EOF) rtq::SetLastErrorFromSystem(code, m_path);
            break;
        }
        if (n == 0) break;
        got += n;
        m_pos += n;
    }
    return got;
}

FileChange BinaryFile::Change(int64_t* lengthNow) const {
    if (m_fd < 0) return FileChange::None;
    Stamp now;
    if (!Describe(SystemHandle(m_fd), &now.dev, &now.ino, &now.size, &now.mtime))
        return FileChange::Modified;
    if (lengthNow) *lengthNow = now.size;
    if (now.size > m_opened.size) return FileChange::Grew;
    if (now.size < m_opened.size) return FileChange::Truncated;
    if (now.mtime.tv_sec != m_opened.mtime.tv_sec || now.mtime.tv_nsec != m_opened.mtime.tv_nsec)
        return FileChange::Modified;
    // Deleted while held open: Windows keeps the file until the last
    // handle closes, and its name cannot be opened meanwhile.
    FILE_STANDARD_INFO standard{};
    if (GetFileInformationByHandleEx(SystemHandle(m_fd), FileStandardInfo, &standard,
                                     sizeof standard) &&
        standard.DeletePending)
        return FileChange::Removed;
    // The bytes held open are intact, but the operator's file is another.
    const HANDLE named = OpenShared(m_path, 0);
    if (named == INVALID_HANDLE_VALUE) return FileChange::Removed;
    Stamp other;
    const bool known = Describe(named, &other.dev, &other.ino, &other.size, &other.mtime);
    CloseHandle(named);
    if (!known) return FileChange::Removed;
    if (other.dev != m_opened.dev || other.ino != m_opened.ino) return FileChange::Replaced;
    return FileChange::None;
}
