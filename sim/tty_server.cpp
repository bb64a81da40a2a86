#include "sim/tty_server.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "sim/flash_save.h"
#include "sim/stop_wait.h"
#include "sim/tty_device.h"
#include "sim/serve_loop.h"

namespace rtq::sim {

namespace {

// Pause before the first reopen after a hang-up; doubled for each further
// hang-up without a byte in between, up to the maximum.
constexpr int64_t kReopenPauseMs = 100;
constexpr int64_t kMaxReopenPauseMs = 1600;
// How long answers still in the device's output buffer may take to leave
// before an unplug, and how often that is checked.
constexpr int64_t kDrainMs = 1000;
constexpr int64_t kDrainCheckMs = 10;

std::string Errno(const std::string& what, int err) { return what + ": " + std::strerror(err); }

}  // namespace

TtyServer::TtyServer(std::string devicePath, Options options)
    : m_path(std::move(devicePath)), m_options(std::move(options)), m_plan(m_options.unplug) {
    if (!m_options.gadgetDir.empty()) m_udc.emplace(m_options.gadgetDir);
}

TtyServer::~TtyServer() { CloseDevice(); }

void TtyServer::Note(const std::string& text) const {
    if (m_options.note) m_options.note(text);
}

void TtyServer::CloseDevice() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
}

TtyServer::Outcome TtyServer::Open(int stopFd, std::string* error) {
    if (m_udc && !m_udc->Load(error)) return Outcome::Failed;
    return OpenDevice(stopFd, error);
}

TtyServer::Outcome TtyServer::OpenDevice(int stopFd, std::string* error) {
    int err = 0;
    switch (WaitForTty(m_path, stopFd, m_options.deviceWaitMs, &m_fd, &err)) {
        case TtyWait::Open: return Outcome::Ok;
        case TtyWait::Stopped: return Outcome::Stopped;
        case TtyWait::NotATerminal:
            *error = m_path + ": not a terminal device";
            return Outcome::Failed;
        case TtyWait::TimedOut:
            *error = Errno(m_path, err) + " (gave up after " +
                     std::to_string(m_options.deviceWaitMs) + " ms)";
            return Outcome::Failed;
    }
    return Outcome::Failed;
}

bool TtyServer::Serve(SimPrinter& printer, int stopFd, std::string* error) {
    bool ok = true;
    AnswerOutbox outbox;
    std::vector<uint8_t> buf(4096);
    ResetWatch resets(printer);
    for (;;) {
        if (const std::optional<UnplugRule> due = m_plan.TakeDue(printer)) {
            const Outcome away = Unplug(printer, outbox, *due, stopFd, error);
            if (away == Outcome::Stopped) break;
            if (away == Outcome::Failed) return false;
        }

        short ev = 0;
        const Waited wait = WaitOnNode(m_fd, outbox, printer, stopFd, &ev, error);
        if (wait == Waited::Failed) return false;
        if (wait == Waited::Stop) break;

        int lost = 0;  // errno of a line that hung up or failed
        if (ev & POLLIN) {
            const ssize_t n =
                read(m_fd, buf.data(), std::min(buf.size(), m_plan.Budget(printer)));
            if (n > 0) {
                m_quickHangups = 0;
                printer.Receive(buf.data(), static_cast<size_t>(n));
            } else if (n == 0) {
                lost = EIO;  // a hung-up terminal reads as end of file
            } else if (errno != EAGAIN && errno != EINTR) {
                lost = errno;
            }
        } else if (ev & (POLLHUP | POLLERR | POLLNVAL)) {
            lost = EIO;
        }
        if (!lost) {
            outbox.Collect(printer);
            if (!outbox.Flush(m_fd)) lost = errno;
        }

        if (resets.NewReset(printer, m_options.flashOut, &ok, error) && m_options.exitAfterReset)
            break;

        if (lost) {
            outbox.Clear();
            const Outcome back = Recover(lost, stopFd, error);
            if (back == Outcome::Stopped) break;
            if (back == Outcome::Failed) return false;
        }
    }
    return ok;
}

TtyServer::Outcome TtyServer::DeliverPending(SimPrinter& printer, AnswerOutbox& outbox,
                                             int stopFd, std::string* error) {
    for (;;) {
        outbox.Collect(printer);
        if (outbox.Empty() && printer.PendingOutput() == 0) break;
        pollfd fds[2] = {
            {m_fd, static_cast<short>(outbox.Empty() ? 0 : POLLOUT), 0},
            {stopFd, POLLIN, 0},
        };
        const int rc = poll(fds, 2, AnswerOutbox::PollTimeoutMs(printer));
        if (rc < 0) {
            if (errno == EINTR) continue;
            *error = Errno("poll", errno);
            return Outcome::Failed;
        }
        if (fds[1].revents) return Outcome::Stopped;
        if (fds[0].revents & POLLOUT) {
            if (!outbox.Flush(m_fd)) return Outcome::Ok;
        } else if (fds[0].revents) {
            return Outcome::Ok;  // hung up: nobody left to answer
        }
    }
    // Written is not yet sent: give the device's buffer a moment to empty.
    // Bounded, as a host that stopped reading never empties it.
    const int64_t end = rtq::SteadyMs() + kDrainMs;
    int queued = 0;
    while (ioctl(m_fd, TIOCOUTQ, &queued) == 0 && queued > 0 && rtq::SteadyMs() < end)
        if (WaitForStop(stopFd, kDrainCheckMs)) return Outcome::Stopped;
    return Outcome::Ok;
}

TtyServer::Outcome TtyServer::Unplug(SimPrinter& printer, AnswerOutbox& outbox,
                                     const UnplugRule& rule, int stopFd,
                                     std::string* error) {
    if (!m_udc) return Outcome::Ok;
    std::string why = "unplug fault " + rule.Describe();
    if (const auto data = printer.DataInProgress())
        why += ", " + std::to_string(data->received) + " of " + std::to_string(data->size) +
               " data bytes in";
    const Outcome delivered = DeliverPending(printer, outbox, stopFd, error);
    if (delivered != Outcome::Ok) return delivered;
    // Out first, then closed: the host sees a pulled cable, not a printer
    // that let go of its line.
    if (!m_udc->Unplug(error)) return Outcome::Failed;
    CloseDevice();
    outbox.Clear();
    if (rule.awayMs == UnplugRule::kNever) {
        Note("unplugged (" + why + "), not coming back");
        WaitForStop(stopFd, -1);
        return Outcome::Stopped;
    }
    Note("unplugged (" + why + ") for " + std::to_string(rule.awayMs) + " ms");
    if (WaitForStop(stopFd, rule.awayMs)) return Outcome::Stopped;
    if (!m_udc->Plug(error)) return Outcome::Failed;
    Note("plugged back in to " + m_udc->Controller());
    const Outcome back = OpenDevice(stopFd, error);
    if (back == Outcome::Ok) Note("serving again on " + m_path);
    return back;
}

TtyServer::Outcome TtyServer::Recover(int err, int stopFd, std::string* error) {
    const std::string what = m_path + " hung up (" + std::strerror(err) + ")";
    CloseDevice();
    const int64_t pause =
        std::min(kReopenPauseMs << std::min(m_quickHangups, 8), kMaxReopenPauseMs);
    ++m_quickHangups;
    Note(what + "; opening it again in " + std::to_string(pause) + " ms");
    if (WaitForStop(stopFd, pause)) return Outcome::Stopped;
    const Outcome back = OpenDevice(stopFd, error);
    if (back == Outcome::Failed) *error = what + " and did not come back: " + *error;
    if (back == Outcome::Ok) Note("serving again on " + m_path);
    return back;
}

}  // namespace rtq::sim
