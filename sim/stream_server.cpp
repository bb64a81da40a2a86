#include "sim/stream_server.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "sim/answer_outbox.h"
#include "sim/serve_loop.h"

namespace rtq::sim {

namespace {

std::string Errno(const std::string& what, int err) { return what + ": " + std::strerror(err); }

}  // namespace

StreamServer::StreamServer(Options options) : m_options(std::move(options)) {}

StreamServer::~StreamServer() {
    if (m_client >= 0) close(m_client);
    if (m_listen >= 0) close(m_listen);
    if (!m_unixPath.empty()) unlink(m_unixPath.c_str());
}

void StreamServer::Note(const std::string& text) const {
    if (m_options.note) m_options.note(text);
}

bool StreamServer::Listen(int fd, const char* what, std::string* error) {
    if (listen(fd, 1) != 0) {
        *error = Errno(std::string("listen on ") + what, errno);
        close(fd);
        return false;
    }
    m_listen = fd;
    return true;
}

bool StreamServer::ListenRfcomm(int channel, std::string* error) {
    const int fd = socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, BTPROTO_RFCOMM);
    if (fd < 0) {
        *error = Errno("RFCOMM socket", errno);
        return false;
    }
    sockaddr_rc addr{};
    addr.rc_family = AF_BLUETOOTH;  // any local adapter (all-zero address)
    addr.rc_channel = static_cast<uint8_t>(channel);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        *error = Errno("RFCOMM channel " + std::to_string(channel), errno);
        close(fd);
        return false;
    }
    return Listen(fd, "RFCOMM", error);
}

bool StreamServer::ListenUnix(const std::string& path, std::string* error) {
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) {
        *error = path + ": path too long for a socket";
        return false;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = Errno("socket", errno);
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    unlink(path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        *error = Errno(path, errno);
        close(fd);
        return false;
    }
    m_unixPath = path;
    return Listen(fd, path.c_str(), error);
}

bool StreamServer::Serve(SimPrinter& printer, int stopFd, std::string* error) {
    if (m_listen < 0) {
        *error = "not listening";
        return false;
    }
    bool ok = true;
    AnswerOutbox outbox;
    std::vector<uint8_t> buf(4096);
    ResetWatch resets(printer);
    for (;;) {
        if (m_client < 0) {
            // No host: wait for one, or for the stop.
            pollfd fds[2] = {{m_listen, POLLIN, 0}, {stopFd, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                *error = Errno("poll", errno);
                return false;
            }
            if (fds[1].revents) break;
            m_client = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (m_client < 0) {
                if (errno == EAGAIN || errno == EINTR || errno == ECONNABORTED) continue;
                *error = Errno("accept", errno);
                return false;
            }
            Note("host connected");
            continue;
        }

        short ev = 0;
        const Waited wait = WaitOnNode(m_client, outbox, printer, stopFd, &ev, error);
        if (wait == Waited::Failed) return false;
        if (wait == Waited::Stop) break;

        int lost = 0;
        if (ev & POLLIN) {
            const ssize_t n = read(m_client, buf.data(), buf.size());
            if (n > 0)
                printer.Receive(buf.data(), static_cast<size_t>(n));
            else if (n == 0)
                lost = ECONNRESET;
            else if (errno != EAGAIN && errno != EINTR)
                lost = errno;
        } else if (ev & (POLLHUP | POLLERR | POLLNVAL)) {
            lost = ECONNRESET;
        }
        if (!lost) {
            outbox.Collect(printer);
            if (!outbox.Flush(m_client)) lost = errno;
        }

        if (resets.NewReset(printer, m_options.flashOut, &ok, error) && m_options.exitAfterReset)
            break;

        if (lost) {
            // Answers to a host that left go nowhere.
            outbox.Clear();
            close(m_client);
            m_client = -1;
            Note(Errno("host hung up", lost));
        }
    }
    return ok;
}

}  // namespace rtq::sim
