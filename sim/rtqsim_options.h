#pragma once
// Command line of rtqsim, parsed into the printer's configuration, its
// fault rules and what the program does around them.

#include <string>
#include <vector>

#include "sim/sim_faults.h"
#include "sim/sim_printer.h"
#include "sim/unplug_plan.h"

namespace rtq::sim {

struct RtqsimOptions {
    std::string link;       // symlink to the pseudo-terminal's slave
    std::string usb;        // printer side of a USB gadget, served instead
    std::string usbGadget;  // the gadget's configfs folder: restarts unplug
    std::string serialDevice;  // an existing terminal device, served instead
    int rfcommChannel = 0;     // an RFCOMM channel to listen on, served instead
    std::string streamSocket;  // a Unix stream socket to listen on, served instead
    int64_t restartMs = 2000;  // time unplugged for a restart
    std::vector<UnplugRule> unplug;
    std::string flashOut;   // flash image written on exit and after resets
    std::string flashIn;    // flash image loaded at start
    bool exitAfterReset = false;
    bool verbose = false;
    bool help = false;
    bool version = false;
    SimConfig config;
    std::vector<FaultRule> faults;
};

// False with a one-line reason for a bad command line.
bool ParseRtqsimArgs(const std::vector<std::string>& args, RtqsimOptions* out,
                     std::string* error);
std::string RtqsimUsage();

}  // namespace rtq::sim
