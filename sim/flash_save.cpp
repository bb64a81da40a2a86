#include "sim/flash_save.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace rtq::sim {

namespace {

std::string Reason(const std::string& path, int err) { return path + ": " + std::strerror(err); }

// A temporary name in path's folder that nobody can plant a link at
// beforehand.
std::string TemporaryName(const std::string& path) {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    uint8_t random[12];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        std::random_device device;
        for (uint8_t& b : random) b = static_cast<uint8_t>(device());
    }
    std::string name = path + ".";
    for (uint8_t b : random) name += kChars[b % (sizeof kChars - 1)];
    return name + ".tmp";
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The rename reaches the disk with the folder; best effort.
void SyncFolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

bool SaveFlashAtomically(const SimPrinter& printer, const std::string& path,
                         std::string* error) {
    // A link is refused rather than replaced: whoever put it there meant
    // the image to go somewhere else, and following it is what must not
    // happen. A device node or folder is never the image.
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            *error = path + ": is a symbolic link; not replaced";
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            *error = path + ": not a regular file; not replaced";
            return false;
        }
    } else if (errno != ENOENT) {
        *error = Reason(path, errno);
        return false;
    }

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        temp = TemporaryName(path);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        *error = Reason(path, errno);
        return false;
    }
    bool ok = WriteAll(fd, printer.Flash()) && fsync(fd) == 0;
    int err = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        *error = Reason(path, err);
        return false;
    }
    SyncFolderOf(path);
    return true;
}

}  // namespace rtq::sim
