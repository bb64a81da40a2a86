#include "sim/printer_node.h"

#include <fcntl.h>
#include <linux/usb/g_printer.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/last_error.h"
#include "sim/stop_wait.h"

namespace rtq::sim {

namespace {

std::string Hex(int byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte & 0xFF);
    return text;
}

}  // namespace

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

ServeOutcome PrinterNode::Open(int stopFd, int64_t waitMs, const NoteFn& note, int* fd,
                               std::string* error) {
    const ServeOutcome opened = OpenRetrying(
        [this](std::string*) { return OpenPrinterNode(Path()); }, stopFd, waitMs, fd, error);
    if (opened != ServeOutcome::Ok) return opened;
    if (!SetPrinterStatus(*fd, kPrinterOnline)) {
        if (m_verbose && note)
            note(Path() + ": port status not set (" + rtq::ErrnoText(errno) +
                 "); not a gadget node");
    } else {
        const int status = GetPrinterStatus(*fd);
        if (status >= 0 && status != kPrinterOnline && note)
            note(Path() + ": port status reads " + Hex(status) + ", not " + Hex(kPrinterOnline));
    }
    return ServeOutcome::Ok;
}

ServeOutcome PrinterNode::WaitSent(int fd, int stopFd) {
    // A stop signal interrupts the wait.
    if (fsync(fd) != 0 && errno == EINTR && WaitForStop(stopFd, 0)) return ServeOutcome::Stopped;
    return ServeOutcome::Ok;
}

}  // namespace rtq::sim
