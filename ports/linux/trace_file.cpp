#include "ports/trace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include "platform/last_error.h"

namespace rtq {

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Why a file with these attributes cannot take the trace; empty if it can.
std::string Refusal(const struct stat& st, const std::vector<NotATraceFile>& others) {
    for (const NotATraceFile& other : others) {
        struct stat os {};
        // The other file by whatever name it was given, links followed.
        if (!other.path.empty() && stat(other.path.c_str(), &os) == 0 && SameFile(st, os))
            return "it is " + other.what;
    }
    if (S_ISLNK(st.st_mode)) return "it is a symbolic link";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    return std::string();
}

}  // namespace

int OpenTraceFile(const std::string& path, const std::vector<NotATraceFile>& others,
                  std::string* error) {
    const auto fail = [&](const std::string& why) {
        if (error) *error = "cannot use the trace file " + path + ": " + why;
        return -1;
    };
    // Looked at before the open, so that a device (the port) is never
    // opened at all.
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        const std::string why = Refusal(st, others);
        if (!why.empty()) return fail(why);
    }
    const int fd = open(path.c_str(),
                        O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY |
                            O_CLOEXEC,
                        0600);
    if (fd < 0) {
        if (errno == ELOOP) return fail("it is a symbolic link");
        if (error) *error = "cannot open the trace file " + path + ": " + ErrnoText(errno);
        return -1;
    }
    // Again on what was opened: the name may have changed hands meanwhile.
    std::string why = fstat(fd, &st) == 0 ? Refusal(st, others) : ErrnoText(errno);
    if (!why.empty()) {
        close(fd);
        return fail(why);
    }
    return fd;
}

}  // namespace rtq
