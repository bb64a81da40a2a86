#include "sim/tty_device.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/clock.h"
#include "sim/stop_wait.h"

namespace rtq::sim {

namespace {
// How long answers still in the device's output buffer may take to leave
// before an unplug, and how often that is checked.
constexpr int64_t kDrainMs = 1000;
constexpr int64_t kDrainCheckMs = 10;
}  // namespace

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

ServeOutcome TtyNode::Open(int stopFd, int64_t waitMs, const NoteFn&, int* fd,
                           std::string* error) {
    return OpenRetrying(
        [this](std::string* refusal) {
            const int opened = OpenRawTty(Path());
            if (opened < 0 && errno == ENOTTY) *refusal = "not a terminal device";
            return opened;
        },
        stopFd, waitMs, fd, error);
}

ServeOutcome TtyNode::WaitSent(int fd, int stopFd) {
    // Written is not yet sent.
    const int64_t end = rtq::SteadyMs() + kDrainMs;
    int queued = 0;
    while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0 && rtq::SteadyMs() < end)
        if (WaitForStop(stopFd, kDrainCheckMs)) return ServeOutcome::Stopped;
    return ServeOutcome::Ok;
}

}  // namespace rtq::sim
