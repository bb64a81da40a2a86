#include "sim/printer_node.h"

#include <fcntl.h>
#include <linux/usb/g_printer.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/clock.h"
#include "sim/stop_wait.h"

namespace rtq::sim {

namespace {
constexpr int64_t kRetryMs = 100;
}

int OpenPrinterNode(const std::string& path) {
    return open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

bool SetPrinterStatus(int fd, uint8_t status) {
    // The request takes the byte itself as its argument, not a pointer.
    return ioctl(fd, GADGET_SET_PRINTER_STATUS, static_cast<unsigned long>(status)) >= 0;
}

int GetPrinterStatus(int fd) {
    // The status comes back as the result of the request.
    const int rc = ioctl(fd, GADGET_GET_PRINTER_STATUS);
    return rc < 0 ? -1 : rc & 0xFF;
}

NodeWait WaitForPrinterNode(const std::string& path, int stopFd, int64_t timeoutMs,
                            int* fd, int* lastErrno) {
    const int64_t end = rtq::SteadyMs() + timeoutMs;
    for (;;) {
        *fd = OpenPrinterNode(path);
        if (*fd >= 0) return NodeWait::Open;
        *lastErrno = errno;
        const int64_t left = end - rtq::SteadyMs();
        if (left <= 0) return NodeWait::TimedOut;
        if (WaitForStop(stopFd, left < kRetryMs ? left : kRetryMs)) return NodeWait::Stopped;
    }
}

}  // namespace rtq::sim
