#include "ports/linux/serial_syscalls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "platform/clock.h"

namespace rtq {

int SerialSyscalls::Open(const char* path, int flags) { return open(path, flags); }
int SerialSyscalls::Close(int fd) { return close(fd); }
ssize_t SerialSyscalls::Read(int fd, void* buf, size_t n) { return read(fd, buf, n); }
ssize_t SerialSyscalls::Write(int fd, const void* buf, size_t n) { return write(fd, buf, n); }
int SerialSyscalls::Poll(pollfd* fds, nfds_t n, int timeoutMs) { return poll(fds, n, timeoutMs); }
int SerialSyscalls::Ioctl(int fd, unsigned long request, void* arg) { return ioctl(fd, request, arg); }
int SerialSyscalls::TcGetAttr(int fd, termios* t) { return tcgetattr(fd, t); }
int SerialSyscalls::TcSetAttr(int fd, int action, const termios* t) { return tcsetattr(fd, action, t); }
int SerialSyscalls::TcFlush(int fd, int queue) { return tcflush(fd, queue); }
int SerialSyscalls::TcDrain(int fd) { return tcdrain(fd); }
int SerialSyscalls::Flock(int fd, int operation) { return flock(fd, operation); }

SerialSyscalls& SystemSerialSyscalls() {
    static SerialSyscalls calls;
    return calls;
}

int PollUntil(SerialSyscalls& sys, int fd, short events, int64_t endMs, short* revents) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int waitMs = static_cast<int>(std::clamp<int64_t>(endMs - SteadyMs(), 0, INT_MAX));
        const int r = sys.Poll(&p, 1, waitMs);
        if (r < 0 && errno == EINTR) continue;
        *revents = p.revents;
        return r;
    }
}

}  // namespace rtq
