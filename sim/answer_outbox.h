#pragma once
// Answer bytes on their way from the printer to the host: taken from the
// printer once released and written to a non-blocking descriptor as fast
// as it accepts them.

#include <cstdint>
#include <vector>

#include "sim/sim_printer.h"

namespace rtq::sim {

class AnswerOutbox {
public:
    // poll() time-out until the printer releases its next held-back answer:
    // -1 when none is held back, at most a minute.
    static int PollTimeoutMs(const SimPrinter& printer);

    bool Empty() const { return m_bytes.empty(); }
    // Moves the answers readable now out of the printer.
    void Collect(SimPrinter& printer);
    // Writes what fd accepts now. False (errno set) on an error other than
    // a full descriptor or a signal.
    bool Flush(int fd);
    void Clear() { m_bytes.clear(); }

private:
    std::vector<uint8_t> m_bytes;
};

}  // namespace rtq::sim
