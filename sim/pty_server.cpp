#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sim/answer_outbox.h"
#include "sim/flash_save.h"
#include "sim/serve_loop.h"
#include "platform/clock.h"

namespace rtq::sim {

namespace {

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

uint32_t BaudOf(speed_t s) {
    switch (s) {
        case B1200: return 1200;
        case B2400: return 2400;
        case B4800: return 4800;
        case B9600: return 9600;
        case B19200: return 19200;
        case B38400: return 38400;
        case B57600: return 57600;
        case B115200: return 115200;
        case B230400: return 230400;
        default: return 0;
    }
}

}  // namespace

PtyServer::~PtyServer() {
    if (!m_link.empty()) {
        char target[4096];
        const ssize_t n = readlink(m_link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<size_t>(n)) == m_slavePath)
            unlink(m_link.c_str());
    }
    if (m_slave >= 0) close(m_slave);
    if (m_master >= 0) close(m_master);
}

bool PtyServer::Open(const std::string& link, std::string* error) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        *error = Errno("posix_openpt");
        return false;
    }
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        *error = Errno("grantpt/unlockpt");
        return false;
    }
    char name[256];
    if (ptsname_r(m_master, name, sizeof name) != 0) {
        *error = Errno("ptsname");
        return false;
    }
    m_slavePath = name;
    m_slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slave < 0) {
        *error = Errno(m_slavePath);
        return false;
    }
    // A pty in its default mode rewrites binary data (CR/LF, echo, ^S/^Q).
    termios t{};
    if (tcgetattr(m_slave, &t) != 0) {
        *error = Errno("tcgetattr");
        return false;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&t, B9600);
    if (tcsetattr(m_slave, TCSANOW, &t) != 0) {
        *error = Errno("tcsetattr");
        return false;
    }
    const int flags = fcntl(m_master, F_GETFL);
    if (flags < 0 || fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        *error = Errno("fcntl");
        return false;
    }

    if (!link.empty()) {
        struct stat st{};
        if (lstat(link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                *error = link + ": exists and is not a symlink; not replaced";
                return false;
            }
            if (unlink(link.c_str()) != 0) {
                *error = Errno(link);
                return false;
            }
        }
        if (symlink(m_slavePath.c_str(), link.c_str()) != 0) {
            *error = Errno(link);
            return false;
        }
        m_link = link;
    }
    return true;
}

LineSettings PtyServer::ReadLine() const {
    LineSettings line;
    termios t{};
    // The master reports the settings the host gave the slave.
    if (tcgetattr(m_master, &t) != 0) return line;
    line.known = true;
    line.baud = BaudOf(cfgetospeed(&t));
    if (t.c_cflag & PARENB) {
        if (t.c_cflag & CMSPAR)
            line.parity = (t.c_cflag & PARODD) ? 'M' : 'S';
        else
            line.parity = (t.c_cflag & PARODD) ? 'O' : 'E';
    }
    line.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    switch (t.c_cflag & CSIZE) {
        case CS5: line.dataBits = 5; break;
        case CS6: line.dataBits = 6; break;
        case CS7: line.dataBits = 7; break;
        default: line.dataBits = 8; break;
    }
    return line;
}

bool PtyServer::SaveFlashAtomically(const SimPrinter& printer,
                                    const std::string& path, std::string* error) {
    return rtq::sim::SaveFlashAtomically(printer, path, error);
}

bool PtyServer::Serve(SimPrinter& printer, const Options& options, int stopFd,
                      std::string* error) {
    bool ok = true;
    AnswerOutbox out;  // answer bytes the master did not take yet
    uint8_t buf[4096];
    ResetWatch resets(printer);
    for (;;) {
        short ev = 0;
        const Waited wait = WaitOnNode(m_master, out, printer, stopFd, &ev, error);
        if (wait == Waited::Failed) return false;
        if (wait == Waited::Stop) break;

        bool hungUp = (ev & (POLLHUP | POLLERR)) && !(ev & POLLIN);
        if (ev & POLLIN) {
            const ssize_t n = read(m_master, buf, sizeof buf);
            if (n > 0) {
                printer.SetLine(ReadLine());
                printer.Receive(buf, static_cast<size_t>(n));
            } else if (n < 0 && errno == EIO) {
                hungUp = true;
            }
        }
        if (hungUp) {
            // No slave open (cannot happen while we hold one, but never
            // spin on it): wait a little, still listening for the stop.
            pollfd stop{stopFd, POLLIN, 0};
            if (poll(&stop, 1, 100) > 0) break;
        }

        out.Collect(printer);
        out.Flush(m_master);  // a master that fails a write has no reader

        if (resets.NewReset(printer, options.flashOut, &ok, error) && options.exitAfterReset) {
            WaitForHostToClose(stopFd);
            break;
        }
    }
    return ok;
}

void PtyServer::WaitForHostToClose(int stopFd) {
    // A printer's restart leaves the host's port in place. Leaving at once
    // would hang the line up under the host, which may still be draining
    // the reset it wrote; so give up our own hold of the slave and wait for
    // the master's hang-up, bounded in case the host never lets go.
    close(m_slave);
    m_slave = -1;
    const int64_t end = rtq::SteadyMs() + kHostCloseWaitMs;
    for (int64_t left = kHostCloseWaitMs; left > 0; left = end - rtq::SteadyMs()) {
        pollfd fds[2] = {{m_master, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int rc = poll(fds, 2, static_cast<int>(left));
        if (rc < 0 && errno == EINTR) continue;
        if (rc <= 0 || fds[1].revents) return;
        uint8_t drop[256];  // the printer is restarting: what still comes is lost
        const ssize_t n = read(m_master, drop, sizeof drop);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return;  // hung up
    }
}

}  // namespace rtq::sim
