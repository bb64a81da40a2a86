#pragma once
// The steps every server of the simulated printer repeats around its node
// (pseudo-terminal, USB gadget, serial device): the wait for the node or
// the stop request, and the image saved after each download's reset.

#include <string>

#include "sim/answer_outbox.h"
#include "sim/sim_printer.h"

namespace rtq::sim {

enum class Waited { Ready, Stop, Failed };

// Waits until fd can be read (or written, while answers wait in outbox),
// stopFd is set, or the printer's next held-back answer is due. Ready with
// fd's events in *events; Failed with the reason in *error.
Waited WaitOnNode(int fd, const AnswerOutbox& outbox, const SimPrinter& printer, int stopFd,
                    short* events, std::string* error);

// Notices the printer's download resets one by one.
class ResetWatch {
public:
    explicit ResetWatch(const SimPrinter& printer) : m_seen(printer.DownloadResets()) {}
    // True when a download ended with a reset since the last call; the
    // image then goes to flashOut (when given). A failed save clears *ok
    // and says why in *error; serving goes on.
    bool NewReset(const SimPrinter& printer, const std::string& flashOut, bool* ok,
                  std::string* error);

private:
    int m_seen;
};

}  // namespace rtq::sim
