#include "ports/linux/device_syscalls.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "platform/clock.h"

namespace rtq {

int DeviceSyscalls::Open(const char* path, int flags) { return open(path, flags); }
int DeviceSyscalls::Close(int fd) { return close(fd); }
ssize_t DeviceSyscalls::Read(int fd, void* buf, size_t n) { return read(fd, buf, n); }
ssize_t DeviceSyscalls::Write(int fd, const void* buf, size_t n) { return write(fd, buf, n); }
int DeviceSyscalls::Poll(pollfd* fds, nfds_t n, int timeoutMs) { return poll(fds, n, timeoutMs); }
int DeviceSyscalls::Ioctl(int fd, unsigned long request, void* arg) { return ioctl(fd, request, arg); }

int PollUntil(DeviceSyscalls& sys, pollfd* fds, nfds_t n, int64_t endMs) {
    for (;;) {
        const int waitMs = static_cast<int>(std::clamp<int64_t>(endMs - SteadyMs(), 0, INT_MAX));
        const int r = sys.Poll(fds, n, waitMs);
        if (r < 0 && errno == EINTR) continue;
        return r;
    }
}

int PollUntil(DeviceSyscalls& sys, int fd, short events, int64_t endMs, short* revents) {
    pollfd p{fd, events, 0};
    const int r = PollUntil(sys, &p, 1, endMs);
    *revents = p.revents;
    return r;
}

}  // namespace rtq
