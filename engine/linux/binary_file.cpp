#include "engine/binary_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/last_error.h"

namespace {

const char* KindOf(mode_t mode) {
    if (S_ISFIFO(mode)) return " (a named pipe)";
    if (S_ISCHR(mode)) return " (a character device)";
    if (S_ISBLK(mode)) return " (a block device)";
    if (S_ISSOCK(mode)) return " (a socket)";
    return "";
}

bool RefuseKind(const std::string& path, mode_t mode) {
    if (S_ISDIR(mode))
        rtq::SetLastErrorFromErrno(EISDIR, path);
    else
        rtq::SetLastError({std::string("not a regular file") + KindOf(mode), EINVAL, path});
    return false;
}

bool Fail(int err, const std::string& path) {
    rtq::SetLastErrorFromErrno(err, path);
    return false;
}

}  // namespace

BinaryFile::~BinaryFile() { Close(); }

bool BinaryFile::Open(const std::string& path) {
    Close();
    if (path.empty()) return Fail(ENOENT, path);
    // Looked at before it is opened: opening a pipe waits for a writer.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return Fail(errno, path);
    if (!S_ISREG(st.st_mode)) return RefuseKind(path, st.st_mode);
    // Non-blocking in case a pipe took the file's place in between.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return Fail(errno, path);
    if (fstat(fd, &st) != 0) {
        const int err = errno;
        close(fd);
        return Fail(err, path);
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        return RefuseKind(path, st.st_mode);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_path = path;
    m_opened = Stamp{st.st_dev, st.st_ino, static_cast<int64_t>(st.st_size), st.st_mtim};
    m_pos = 0;
    return true;
}

void BinaryFile::Close() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
}

int64_t BinaryFile::Length() const {
    if (m_fd < 0) return -1;
    struct stat st {};
    if (fstat(m_fd, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool BinaryFile::Seek(int64_t offset) {
    if (m_fd < 0 || offset < 0) return false;
    m_pos = offset;
    return true;
}

size_t BinaryFile::Read(uint8_t* buf, size_t len) {
    if (m_fd < 0 || !buf || len == 0) return 0;
    size_t got = 0;
    while (got < len) {
        const ssize_t n = pread(m_fd, buf + got, len - got, static_cast<off_t>(m_pos));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            rtq::SetLastErrorFromErrno(errno, m_path);
            break;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
        m_pos += n;
    }
    return got;
}

FileChange BinaryFile::Change(int64_t* lengthNow) const {
    if (m_fd < 0) return FileChange::None;
    struct stat now {};
    if (fstat(m_fd, &now) != 0) return FileChange::Modified;
    if (lengthNow) *lengthNow = static_cast<int64_t>(now.st_size);
    if (now.st_size > m_opened.size) return FileChange::Grew;
    if (now.st_size < m_opened.size) return FileChange::Truncated;
    if (now.st_mtim.tv_sec != m_opened.mtime.tv_sec ||
        now.st_mtim.tv_nsec != m_opened.mtime.tv_nsec)
        return FileChange::Modified;
    // The bytes held open are intact, but the operator's file is another.
    struct stat named {};
    if (stat(m_path.c_str(), &named) != 0) return FileChange::Removed;
    if (named.st_dev != m_opened.dev || named.st_ino != m_opened.ino) return FileChange::Replaced;
    return FileChange::None;
}
