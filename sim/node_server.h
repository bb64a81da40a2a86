#pragma once
// Serves a simulated printer on a node that already exists or comes with a
// USB gadget (ServedNode: a USB-serial adapter's terminal device, a USB
// printer gadget's character device). A node that fails under the server
// (hung up, host gone, controller unbound by someone else) is closed and
// opened again, pausing longer after each failure that follows another
// without a byte in between, so a line that keeps failing is not
// hammered. With the gadget's configfs folder the server also unplugs:
// for the unplug fault (UnplugPlan), and, on a node that goes with the
// printer, after a reset and after IPL sector 5, as a restarting printer;
// it stays away for a while, plugs back in and opens the node again.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/answer_outbox.h"
#include "sim/gadget_udc.h"
#include "sim/served_node.h"
#include "sim/sim_printer.h"
#include "sim/unplug_plan.h"

namespace rtq::sim {

class NodeServer {
public:
    using Outcome = ServeOutcome;

    struct Options {
        std::string flashOut;        // saved after each download reset
        bool exitAfterReset = false;
        std::string gadgetDir;       // empty: unplugs and restarts unplug nothing
        std::vector<UnplugRule> unplug;
        int64_t restartMs = 2000;    // time unplugged for a restart
        int64_t openWaitMs = 10000;  // how long the node may take to open
        NoteFn note;
    };

    NodeServer(std::unique_ptr<ServedNode> node, Options options);
    ~NodeServer();
    NodeServer(const NodeServer&) = delete;
    NodeServer& operator=(const NodeServer&) = delete;

    // Reads the gadget's controller name (with a gadget folder) and opens
    // the node, waiting for it up to openWaitMs.
    Outcome Open(int stopFd, std::string* error);

    // Serves until stopFd becomes readable or, with exitAfterReset, a reset
    // ends a download. False when the node did not come back or the
    // gadget could not be plugged, or when saving the flash image failed
    // (serving goes on after that), with the reason in *error.
    bool Serve(SimPrinter& printer, int stopFd, std::string* error);

private:
    Outcome OpenNode(int stopFd, std::string* error);
    void CloseNode();
    // Hands the host every answer queued so far, held-back ones included,
    // and lets the node send it, so an unplug does not swallow answers to
    // earlier commands.
    Outcome DeliverPending(SimPrinter& printer, AnswerOutbox& outbox, int stopFd,
                           std::string* error);
    // Unplugs (leaveAfterMs after the pending answers went out), stays
    // away awayMs (or for good) and plugs back in.
    Outcome GoAway(SimPrinter& printer, AnswerOutbox& outbox, int64_t awayMs,
                   int64_t leaveAfterMs, const std::string& why, int stopFd,
                   std::string* error);
    // The node hung up or failed: open it again.
    Outcome Recover(int err, int stopFd, std::string* error);
    void Note(const std::string& text) const;

    const std::unique_ptr<ServedNode> m_node;
    const Options m_options;
    std::optional<GadgetUdc> m_udc;
    UnplugPlan m_plan;
    int m_fd = -1;
    int m_quickHangups = 0;  // failures since the last byte received
};

}  // namespace rtq::sim
