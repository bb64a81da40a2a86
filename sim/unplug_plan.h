#pragma once
// The unplug fault of a USB printer: at a chosen point of the byte stream
// the printer stops reading, is unplugged, and comes back after a while or
// never. The point is in the middle of the N-th command of a kind: after
// the read that passes half of the data of a data frame, right after the
// frame for the others.
//
// The printer keeps its receive state over the absence, as a real one
// whose cable was pulled would: the bytes the host sends after it comes
// back continue the frame that was cut. The gadget discards what it holds
// unread when it is unplugged, although the host counts it as sent; so the
// cut falls after whole reads (a read drains the gadget's buffer), never
// inside what the gadget took in.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_printer.h"
#include "sim/sim_types.h"

namespace rtq::sim {

struct UnplugRule {
    static constexpr int64_t kNever = -1;

    CommandKind kind = CommandKind::Data;
    int nth = 1;           // the N-th command of the kind, from 1
    int64_t awayMs = 0;    // time unplugged, or kNever

    std::string Describe() const;  // "data:1:2000ms", "data:3:never"
};

// KIND:N:S with S in seconds (decimals allowed) or "never". False with a
// one-line reason for anything else.
bool ParseUnplugRule(const std::string& text, UnplugRule* rule, std::string* error);

class UnplugPlan {
public:
    UnplugPlan() = default;
    explicit UnplugPlan(std::vector<UnplugRule> rules) : m_rules(std::move(rules)) {}

    // The rule whose point the printer has reached, taken off the plan.
    std::optional<UnplugRule> TakeDue(const SimPrinter& printer);

    // How many bytes the transport may hand the printer without passing a
    // point of the plan; at least 1. Call when TakeDue found nothing.
    // Outside data frames the stream goes byte by byte while a rule waits,
    // so the point right after a frame is met exactly (the host sends
    // nothing more before its answer, so nothing is left in the gadget).
    size_t Budget(const SimPrinter& printer) const;

private:
    static bool Reached(const UnplugRule& rule, const SimPrinter& printer);

    std::vector<UnplugRule> m_rules;  // not reached yet
};

}  // namespace rtq::sim
