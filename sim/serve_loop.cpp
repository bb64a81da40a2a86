#include "sim/serve_loop.h"

#include <poll.h>

#include <cerrno>
#include <cstring>

#include "sim/flash_save.h"

namespace rtq::sim {

Waited WaitOnNode(int fd, const AnswerOutbox& outbox, const SimPrinter& printer, int stopFd,
                    short* events, std::string* error) {
    for (;;) {
        pollfd fds[2] = {
            {fd, static_cast<short>(POLLIN | (outbox.Empty() ? 0 : POLLOUT)), 0},
            {stopFd, POLLIN, 0},
        };
        const int rc = poll(fds, 2, AnswerOutbox::PollTimeoutMs(printer));
        if (rc < 0) {
            if (errno == EINTR) continue;
            *error = std::string("poll: ") + std::strerror(errno);
            return Waited::Failed;
        }
        if (fds[1].revents) return Waited::Stop;
        *events = fds[0].revents;
        return Waited::Ready;
    }
}

bool ResetWatch::NewReset(const SimPrinter& printer, const std::string& flashOut, bool* ok,
                          std::string* error) {
    const int resets = printer.DownloadResets();
    if (resets == m_seen) return false;
    m_seen = resets;
    if (!flashOut.empty() && !SaveFlashAtomically(printer, flashOut, error)) *ok = false;
    return true;
}

}  // namespace rtq::sim
