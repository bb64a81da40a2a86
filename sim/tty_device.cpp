#include "sim/tty_device.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/clock.h"
#include "sim/stop_wait.h"

namespace rtq::sim {

namespace {
constexpr int64_t kRetryMs = 100;
}

int OpenRawTty(const std::string& path) {
    // O_NONBLOCK: open must not wait for carrier, and the server polls.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    termios t{};
    int rc = tcgetattr(fd, &t);
    if (rc == 0) {
        // Raw keeps VMIN at 1: a read with nothing there then fails with
        // EAGAIN, and a read of 0 bytes means the line hung up.
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
        rc = tcsetattr(fd, TCSANOW, &t);
    }
    if (rc != 0) {
        const int err = errno;
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

TtyWait WaitForTty(const std::string& path, int stopFd, int64_t timeoutMs, int* fd,
                   int* lastErrno) {
    const int64_t end = rtq::SteadyMs() + timeoutMs;
    for (;;) {
        *fd = OpenRawTty(path);
        if (*fd >= 0) return TtyWait::Open;
        *lastErrno = errno;
        if (errno == ENOTTY) return TtyWait::NotATerminal;
        const int64_t left = end - rtq::SteadyMs();
        if (left <= 0) return TtyWait::TimedOut;
        if (WaitForStop(stopFd, left < kRetryMs ? left : kRetryMs)) return TtyWait::Stopped;
    }
}

}  // namespace rtq::sim
