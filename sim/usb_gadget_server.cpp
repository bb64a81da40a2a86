#include "sim/usb_gadget_server.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/flash_save.h"
#include "sim/printer_node.h"
#include "sim/stop_wait.h"
#include "sim/serve_loop.h"

namespace rtq::sim {

namespace {

// Pause before reopening a node that failed, so one that keeps failing at
// once is not hammered.
constexpr int64_t kRecoverPauseMs = 100;
// How long a restarting printer stays on the bus after its last answer:
// the host reads its replies in turns of 50 ms.
constexpr int64_t kRestartLeaveMs = 500;

std::string Hex(int byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte & 0xFF);
    return text;
}

}  // namespace

UsbGadgetServer::UsbGadgetServer(std::string nodePath, Options options)
    : m_path(std::move(nodePath)), m_options(std::move(options)), m_plan(m_options.unplug) {
    if (!m_options.gadgetDir.empty()) m_udc.emplace(m_options.gadgetDir);
}

UsbGadgetServer::~UsbGadgetServer() { CloseNode(); }

void UsbGadgetServer::Note(const std::string& text) const {
    if (m_options.note) m_options.note(text);
}

void UsbGadgetServer::CloseNode() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
}

UsbGadgetServer::Outcome UsbGadgetServer::Open(int stopFd, std::string* error) {
    if (m_udc && !m_udc->Load(error)) return Outcome::Failed;
    return OpenNode(stopFd, error);
}

UsbGadgetServer::Outcome UsbGadgetServer::OpenNode(int stopFd, std::string* error) {
    int err = 0;
    switch (WaitForPrinterNode(m_path, stopFd, m_options.nodeWaitMs, &m_fd, &err)) {
        case NodeWait::Stopped:
            return Outcome::Stopped;
        case NodeWait::TimedOut:
            *error = m_path + ": " + std::strerror(err) + " (gave up after " +
                     std::to_string(m_options.nodeWaitMs) + " ms)";
            return Outcome::Failed;
        case NodeWait::Open:
            break;
    }
    if (!SetPrinterStatus(m_fd, kPrinterOnline)) {
        if (m_options.verbose)
            Note(m_path + ": port status not set (" + std::strerror(errno) +
                 "); not a gadget node");
    } else {
        const int status = GetPrinterStatus(m_fd);
        if (status >= 0 && status != kPrinterOnline)
            Note(m_path + ": port status reads " + Hex(status) + ", not " + Hex(kPrinterOnline));
    }
    return Outcome::Ok;
}

bool UsbGadgetServer::Serve(SimPrinter& printer, int stopFd, std::string* error) {
    bool ok = true;
    AnswerOutbox outbox;
    // Larger than the gadget's own receive buffer, so that one read takes
    // in everything it holds (what it holds unread is lost at an unplug).
    std::vector<uint8_t> buf(16384);
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
        }
        else if (restarted && m_udc)
            away = GoAway(printer, outbox, m_options.restartMs, kRestartLeaveMs,
                          "printer restart", stopFd, error);
        if (away == Outcome::Stopped) break;
        if (away == Outcome::Failed) return false;

        short ev = 0;
        const Waited wait = WaitOnNode(m_fd, outbox, printer, stopFd, &ev, error);
        if (wait == Waited::Failed) return false;
        if (wait == Waited::Stop) break;

        int lost = 0;  // errno of a failing node
        if (ev & POLLIN) {
            const ssize_t n = read(m_fd, buf.data(), std::min(buf.size(), m_plan.Budget(printer)));
            if (n > 0)
                printer.Receive(buf.data(), static_cast<size_t>(n));
            else if (n == 0)
                lost = ENODEV;  // end of file: the other side is gone
            else if (errno != EAGAIN && errno != EINTR)
                lost = errno;
        } else if (ev & (POLLHUP | POLLERR | POLLNVAL)) {
            lost = ENODEV;
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

UsbGadgetServer::Outcome UsbGadgetServer::DeliverPending(SimPrinter& printer,
                                                         AnswerOutbox& outbox, int stopFd,
                                                         std::string* error) {
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
            *error = std::string("poll: ") + std::strerror(errno);
            return Outcome::Failed;
        }
        if (fds[1].revents) return Outcome::Stopped;
        if (fds[0].revents & POLLOUT) {
            if (!outbox.Flush(m_fd)) break;
        } else if (fds[0].revents) {
            break;  // hung up: nobody left to answer
        }
    }
    // The gadget returns from write once the bytes are queued; fsync waits
    // until the host has taken them. A stop signal interrupts it.
    if (fsync(m_fd) != 0 && errno == EINTR && WaitForStop(stopFd, 0)) return Outcome::Stopped;
    return Outcome::Ok;
}

UsbGadgetServer::Outcome UsbGadgetServer::GoAway(SimPrinter& printer, AnswerOutbox& outbox,
                                                 int64_t awayMs, int64_t leaveAfterMs,
                                                 const std::string& why, int stopFd,
                                                 std::string* error) {
    if (!m_udc) return Outcome::Ok;
    const Outcome delivered = DeliverPending(printer, outbox, stopFd, error);
    if (delivered != Outcome::Ok) return delivered;
    // The host's driver drops what it has not read yet when the printer
    // goes; a printer that restarts leaves a moment after its last answer.
    if (leaveAfterMs > 0 && WaitForStop(stopFd, leaveAfterMs)) return Outcome::Stopped;
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
    if (back == Outcome::Ok) Note("serving again on " + m_path);
    return back;
}

UsbGadgetServer::Outcome UsbGadgetServer::Recover(int err, int stopFd, std::string* error) {
    const std::string what = m_path + " failed (" + std::strerror(err) + ")";
    Note(what + "; reopening it");
    CloseNode();
    if (WaitForStop(stopFd, kRecoverPauseMs)) return Outcome::Stopped;
    const Outcome back = OpenNode(stopFd, error);
    if (back == Outcome::Failed) *error = what + " and did not come back: " + *error;
    if (back == Outcome::Ok) Note("serving again on " + m_path);
    return back;
}

}  // namespace rtq::sim
