#pragma once
// Serves a simulated printer on the printer side of a USB gadget (the
// printer function's character device). With the gadget's configfs folder
// it also behaves like a printer that restarts: after a reset and after
// IPL sector 5 it unplugs itself, stays away for a while, plugs back in and
// reopens its node; the host's handle dies meanwhile. The unplug fault
// (UnplugPlan) uses the same way out and back.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/answer_outbox.h"
#include "sim/gadget_udc.h"
#include "sim/sim_printer.h"
#include "sim/unplug_plan.h"

namespace rtq::sim {

class UsbGadgetServer {
public:
    struct Options {
        std::string flashOut;        // saved after each download reset
        bool exitAfterReset = false;
        std::string gadgetDir;       // empty: restarts unplug nothing
        int64_t restartMs = 2000;    // time unplugged for a restart
        int64_t nodeWaitMs = 10000;  // how long the node may take to open
        std::vector<UnplugRule> unplug;
        bool verbose = false;
        // Notes on what happens to the link (unplugs, reopens).
        std::function<void(const std::string&)> note;
    };

    enum class Outcome { Ok, Stopped, Failed };

    UsbGadgetServer(std::string nodePath, Options options);
    ~UsbGadgetServer();
    UsbGadgetServer(const UsbGadgetServer&) = delete;
    UsbGadgetServer& operator=(const UsbGadgetServer&) = delete;

    // Reads the gadget's controller name (with a gadget folder) and opens
    // the node, waiting for it up to nodeWaitMs.
    Outcome Open(int stopFd, std::string* error);

    // Serves until stopFd becomes readable or, with exitAfterReset, a reset
    // ends a download. False when the node could not be got back or the
    // gadget could not be plugged, or when saving the flash image failed
    // (serving goes on after that), with the reason in *error.
    bool Serve(SimPrinter& printer, int stopFd, std::string* error);

private:
    Outcome OpenNode(int stopFd, std::string* error);
    void CloseNode();
    // Hands the host every answer queued so far, held-back ones included,
    // and lets the gadget send it, so a restart does not swallow the
    // answer to the command that caused it.
    Outcome DeliverPending(SimPrinter& printer, AnswerOutbox& outbox, int stopFd,
                           std::string* error);
    // Unplugs (leaveAfterMs after the pending answers went out), stays
    // away awayMs (or for good) and plugs back in.
    Outcome GoAway(SimPrinter& printer, AnswerOutbox& outbox, int64_t awayMs,
                   int64_t leaveAfterMs, const std::string& why, int stopFd,
                   std::string* error);
    // The node failed under us (host gone, controller unbound by someone
    // else): reopen it within nodeWaitMs or give up.
    Outcome Recover(int err, int stopFd, std::string* error);
    void Note(const std::string& text) const;

    const std::string m_path;
    const Options m_options;
    std::optional<GadgetUdc> m_udc;
    UnplugPlan m_plan;
    int m_fd = -1;
};

}  // namespace rtq::sim
