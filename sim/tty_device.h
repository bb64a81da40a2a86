#pragma once
// A terminal device that already exists (the printer's end of a USB-serial
// adapter, such as /dev/ttyGS0), opened non-blocking in raw mode so that
// binary frames pass untouched. The device stays where it is when the
// adapter is unplugged, but a descriptor open on it hangs up.

#include <string>

#include "sim/served_node.h"

namespace rtq::sim {

// Opens the device and puts it in raw mode; -1 with errno on failure
// (ENOTTY for a path that is no terminal).
int OpenRawTty(const std::string& path);

class TtyNode final : public ServedNode {
public:
    using ServedNode::ServedNode;

    // A path that opens but is no terminal is not tried again.
    ServeOutcome Open(int stopFd, int64_t waitMs, const NoteFn& note, int* fd,
                      std::string* error) override;
    // Gives the device's output buffer a moment to empty; bounded, as a
    // host that stopped reading never empties it.
    ServeOutcome WaitSent(int fd, int stopFd) override;
    bool RestartUnplugs() const override { return false; }
};

}  // namespace rtq::sim
