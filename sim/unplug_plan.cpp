#include "sim/unplug_plan.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace rtq::sim {

namespace {

constexpr double kMaxSeconds = 86400;

// Plain decimal seconds: digits with an optional fraction.
bool ParseSeconds(const std::string& text, int64_t* ms) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
        std::count(text.begin(), text.end(), '.') > 1 ||
        text.find_first_of("0123456789") == std::string::npos)
        return false;
    double seconds = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds,
                                     std::chars_format::fixed);
    if (ec != std::errc() || ptr != text.data() + text.size() || seconds > kMaxSeconds)
        return false;
    *ms = std::llround(seconds * 1000);
    return true;
}

// Byte count up to the middle of a data frame, for the frame in progress.
size_t HalfOf(const SimPrinter::DataProgress& p) { return p.size / 2; }

}  // namespace

std::string UnplugRule::Describe() const {
    return std::string(CommandKindName(kind)) + ":" + std::to_string(nth) + ":" +
           (awayMs == kNever ? std::string("never") : std::to_string(awayMs) + "ms");
}

bool ParseUnplugRule(const std::string& text, UnplugRule* rule, std::string* error) {
    const std::vector<std::string> parts = SplitFields(text, ':');
    if (parts.size() != 3) {
        *error = "--unplug: expected KIND:N:SECONDS or KIND:N:never, got '" + text + "'";
        return false;
    }
    UnplugRule r;
    if (!ParseCommandKind(parts[0], &r.kind) || r.kind == CommandKind::Unknown ||
        r.kind == CommandKind::Any) {
        *error = "--unplug: '" + parts[0] +
                 "' is not a command kind (use switch, line, identity, erase, select, "
                 "data, checksum, crc, reset, pin or name)";
        return false;
    }
    int n = 0;
    auto [ptr, ec] = std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), n);
    if (ec != std::errc() || ptr != parts[1].data() + parts[1].size() || n < 1) {
        *error = "--unplug: '" + parts[1] + "' is not a frame number (1 or more)";
        return false;
    }
    r.nth = n;
    if (parts[2] == "never") {
        r.awayMs = UnplugRule::kNever;
    } else if (!ParseSeconds(parts[2], &r.awayMs)) {
        *error = "--unplug: '" + parts[2] + "' is not a number of seconds (e.g. 2 or 0.5) or never";
        return false;
    }
    *rule = r;
    return true;
}

bool UnplugPlan::Reached(const UnplugRule& rule, const SimPrinter& printer) {
    if (printer.CommandCount(rule.kind) >= rule.nth) return true;
    if (rule.kind != CommandKind::Data) return false;
    const auto progress = printer.DataInProgress();
    return progress && progress->number == rule.nth && progress->received >= HalfOf(*progress);
}

std::optional<UnplugRule> UnplugPlan::TakeDue(const SimPrinter& printer) {
    for (auto it = m_rules.begin(); it != m_rules.end(); ++it) {
        if (Reached(*it, printer)) {
            const UnplugRule rule = *it;
            m_rules.erase(it);
            return rule;
        }
    }
    return std::nullopt;
}

size_t UnplugPlan::Budget(const SimPrinter& printer) const {
    if (m_rules.empty()) return std::numeric_limits<size_t>::max();
    const auto progress = printer.DataInProgress();
    if (!progress) return 1;
    // Not capped at the half of a frame to be cut: each read takes a whole
    // transfer, so the cut falls after the read that passes the half.
    return std::max<size_t>(progress->size - progress->received, 1);
}

}  // namespace rtq::sim
