#include "sim/node_server.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/last_error.h"
#include "sim/serve_loop.h"
#include "sim/stop_wait.h"

namespace rtq::sim {

namespace {

// Pause before the first reopen after a failure; doubled for each further
// failure without a byte in between, up to the maximum.
constexpr int64_t kReopenPauseMs = 100;
constexpr int64_t kMaxReopenPauseMs = 1600;
// How long a restarting printer stays on the bus after its last answer:
// the host reads its replies in turns of 50 ms.
constexpr int64_t kRestartLeaveMs = 500;
// Larger than a gadget's own receive buffer, so that one read takes in
// everything it holds (what it holds unread is lost at an unplug).
constexpr size_t kReadBytes = 16384;

}  // namespace

NodeServer::NodeServer(std::unique_ptr<ServedNode> node, Options options)
    : m_node(std::move(node)), m_options(std::move(options)), m_plan(m_options.unplug) {
    if (!m_options.gadgetDir.empty()) m_udc.emplace(m_options.gadgetDir);
}

NodeServer::~NodeServer() { CloseNode(); }

void NodeServer::Note(const std::string& text) const {
    if (m_options.note) m_options.note(text);
}

void NodeServer::CloseNode() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
}

NodeServer::Outcome NodeServer::Open(int stopFd, std::string* error) {
    if (m_udc && !m_udc->Load(error)) return Outcome::Failed;
    return OpenNode(stopFd, error);
}

NodeServer::Outcome NodeServer::OpenNode(int stopFd, std::string* error) {
    return m_node->Open(stopFd, m_options.openWaitMs, m_options.note, &m_fd, error);
}

bool NodeServer::Serve(SimPrinter& printer, int stopFd, std::string* error) {
    bool ok = true;
    AnswerOutbox outbox;
    std::vector<uint8_t> buf(kReadBytes);
    ResetWatch resets(printer);
    int restartsSeen = printer.Restarts();
    for (;;) {
        // At most one absence per point: an unplug fault on a reset stands
        // for the restart that reset causes.
        const std::optional<UnplugRule> due = m_plan.TakeDue(printer);
        const int restarts = printer.Restarts();
        const bool restarted = restarts != restartsSeen;
        restartsSeen = restarts;
        Outcome away = Outcome::Ok;
        if (due) {
            std::string why = "unplug fault " + due->Describe();
            if (const auto data = printer.DataInProgress())
                why += ", " + std::to_string(data->received) + " of " +
                       std::to_string(data->size) + " data bytes in";
            away = GoAway(printer, outbox, due->awayMs, 0, why, stopFd, error);
        } else if (restarted && m_node->RestartUnplugs()) {
            away = GoAway(printer, outbox, m_options.restartMs, kRestartLeaveMs,
                          "printer restart", stopFd, error);
        }
        if (away == Outcome::Stopped) break;
        if (away == Outcome::Failed) return false;

        short ev = 0;
        const Waited wait = WaitOnNode(m_fd, outbox, printer, stopFd, &ev, error);
        if (wait == Waited::Failed) return false;
        if (wait == Waited::Stop) break;

        int lost = 0;  // errno of a node that hung up or failed
        if (ev & POLLIN) {
            const ssize_t n =
                read(m_fd, buf.data(), std::min(buf.size(), m_plan.Budget(printer)));
            if (n > 0) {
                m_quickHangups = 0;
                printer.Receive(buf.data(), static_cast<size_t>(n));
            } else if (n == 0) {
                lost = EIO;  // end of file: the other side hung up or is gone
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

NodeServer::Outcome NodeServer::DeliverPending(SimPrinter& printer, AnswerOutbox& outbox,
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
            *error = "poll: " + rtq::ErrnoText(errno);
            return Outcome::Failed;
        }
        if (fds[1].revents) return Outcome::Stopped;
        if (fds[0].revents & POLLOUT) {
            if (!outbox.Flush(m_fd)) break;
        } else if (fds[0].revents) {
            break;  // hung up: nobody left to answer
        }
    }
    return m_node->WaitSent(m_fd, stopFd);
}

NodeServer::Outcome NodeServer::GoAway(SimPrinter& printer, AnswerOutbox& outbox,
                                       int64_t awayMs, int64_t leaveAfterMs,
                                       const std::string& why, int stopFd,
                                       std::string* error) {
    if (!m_udc) return Outcome::Ok;
    const Outcome delivered = DeliverPending(printer, outbox, stopFd, error);
    if (delivered != Outcome::Ok) return delivered;
    // The host's driver drops what it has not read yet when the printer
    // goes; a printer that restarts leaves a moment after its last answer.
    if (leaveAfterMs > 0 && WaitForStop(stopFd, leaveAfterMs)) return Outcome::Stopped;
    // Out first, then closed: the host sees a pulled cable, not a printer
    // that let go of its line.
    if (!m_udc->Unplug(error)) return Outcome::Failed;
    CloseNode();
    outbox.Clear();
    if (awayMs == UnplugRule::kNever) {
        Note("unplugged (" + why + "), not coming back");
        WaitForStop(stopFd, -1);
        return Outcome::Stopped;
    }
    Note("unplugged (" + why + ") for " + std::to_string(awayMs) + " ms");
    if (WaitForStop(stopFd, awayMs)) return Outcome::Stopped;
    if (!m_udc->Plug(error)) return Outcome::Failed;
    Note("plugged back in to " + m_udc->Controller());
    const Outcome back = OpenNode(stopFd, error);
    if (back == Outcome::Ok) Note("serving again on " + m_node->Path());
    return back;
}

NodeServer::Outcome NodeServer::Recover(int err, int stopFd, std::string* error) {
    const std::string what = m_node->Path() + " hung up (" + rtq::ErrnoText(err) + ")";
    CloseNode();
    const int64_t pause =
        std::min(kReopenPauseMs << std::min(m_quickHangups, 8), kMaxReopenPauseMs);
    ++m_quickHangups;
    Note(what + "; opening it again in " + std::to_string(pause) + " ms");
    if (WaitForStop(stopFd, pause)) return Outcome::Stopped;
    const Outcome back = OpenNode(stopFd, error);
    if (back == Outcome::Failed) *error = what + " and did not come back: " + *error;
    if (back == Outcome::Ok) Note("serving again on " + m_node->Path());
    return back;
}

}  // namespace rtq::sim
