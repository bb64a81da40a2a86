#pragma once
// Serves a simulated printer on a terminal device that already exists: the
// printer's end of a USB-serial adapter (the serial gadget's /dev/ttyGS0).
// The device stays where it is when the adapter is unplugged, but the
// descriptor open on it hangs up; the server then closes it and opens the
// device again, pausing longer after each hang-up that follows another
// without a byte in between, so a line that keeps hanging up is not
// hammered. With the gadget's configfs folder the unplug fault (UnplugPlan)
// pulls the adapter out and plugs it back, as a cable would.

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

class TtyServer {
public:
    struct Options {
        std::string flashOut;          // saved after each download reset
        bool exitAfterReset = false;
        std::string gadgetDir;         // empty: unplug faults unplug nothing
        std::vector<UnplugRule> unplug;
        int64_t deviceWaitMs = 10000;  // how long the device may take to open
        // Notes on what happens to the line (hang-ups, unplugs, reopens).
        std::function<void(const std::string&)> note;
    };

    enum class Outcome { Ok, Stopped, Failed };

    TtyServer(std::string devicePath, Options options);
    ~TtyServer();
    TtyServer(const TtyServer&) = delete;
    TtyServer& operator=(const TtyServer&) = delete;

    // Reads the gadget's controller name (with a gadget folder) and opens
    // the device, waiting for it up to deviceWaitMs.
    Outcome Open(int stopFd, std::string* error);

    // Serves until stopFd becomes readable or, with exitAfterReset, a reset
    // ends a download. False when the device did not come back or the
    // gadget could not be plugged, or when saving the flash image failed
    // (serving goes on after that), with the reason in *error.
    bool Serve(SimPrinter& printer, int stopFd, std::string* error);

private:
    Outcome OpenDevice(int stopFd, std::string* error);
    void CloseDevice();
    // Hands the host every answer queued so far, held-back ones included,
    // so an unplug does not swallow answers to earlier commands.
    Outcome DeliverPending(SimPrinter& printer, AnswerOutbox& outbox, int stopFd,
                           std::string* error);
    // Unplugs, stays away the rule's time (or for good) and plugs back in.
    Outcome Unplug(SimPrinter& printer, AnswerOutbox& outbox, const UnplugRule& rule,
                   int stopFd, std::string* error);
    // The line hung up or failed: open the device again.
    Outcome Recover(int err, int stopFd, std::string* error);
    void Note(const std::string& text) const;

    const std::string m_path;
    const Options m_options;
    std::optional<GadgetUdc> m_udc;
    UnplugPlan m_plan;
    int m_fd = -1;
    int m_quickHangups = 0;  // hang-ups since the last byte received
};

}  // namespace rtq::sim
