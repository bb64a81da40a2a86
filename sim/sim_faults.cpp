#include "sim/sim_faults.h"

namespace rtq::sim {

const char* FaultActionName(FaultAction action) {
    switch (action) {
        case FaultAction::Nak: return "nak";
        case FaultAction::Silent: return "silent";
        case FaultAction::WrongByte: return "wrong-byte";
        case FaultAction::AckOnly: return "ack-only";
        case FaultAction::WrongChecksum: return "bad-checksum";
        case FaultAction::WrongIdentity: return "identity";
        case FaultAction::Delay: return "slow";
        case FaultAction::DropLine: return "drop-line";
        case FaultAction::DsrLow: return "dsr-low";
    }
    return "?";
}

bool FaultRule::Matches(CommandKind k, int numberOfKind,
                        int numberOverall) const {
    int number = 0;
    if (kind == CommandKind::Any) {
        number = numberOverall;
    } else if (kind == k) {
        number = numberOfKind;
    } else {
        return false;
    }
    if (number < nth) return false;
    // Widened: a run of rules may reach the largest running number.
    return times == 0 || int64_t{number} - nth < times;
}

namespace {

FaultRule Make(CommandKind k, FaultAction a, int n) {
    FaultRule r;
    r.kind = k;
    r.action = a;
    r.nth = n <= 0 ? 1 : n;
    r.times = n <= 0 ? 0 : 1;
    return r;
}

}  // namespace

FaultRule FaultRule::Nak(CommandKind k, int n) {
    return Make(k, FaultAction::Nak, n);
}

FaultRule FaultRule::Silent(CommandKind k, int n) {
    return Make(k, FaultAction::Silent, n);
}

FaultRule FaultRule::WrongByte(CommandKind k, int n, uint8_t value) {
    FaultRule r = Make(k, FaultAction::WrongByte, n);
    r.wrongByte = value;
    return r;
}

FaultRule FaultRule::AckOnly(CommandKind k, int n) {
    return Make(k, FaultAction::AckOnly, n);
}

FaultRule FaultRule::WrongChecksum(int n, uint16_t xorMask) {
    FaultRule r = Make(CommandKind::Checksum, FaultAction::WrongChecksum, n);
    r.checksumXor = xorMask;
    return r;
}

FaultRule FaultRule::WrongIdentity(const std::string& text, int n) {
    FaultRule r = Make(CommandKind::Identity, FaultAction::WrongIdentity, n);
    r.identity = text;
    return r;
}

FaultRule FaultRule::Delay(CommandKind k, int n, int64_t ms) {
    FaultRule r = Make(k, FaultAction::Delay, n);
    r.delayMs = ms;
    return r;
}

FaultRule FaultRule::DropLine(CommandKind k, int n) {
    FaultRule r = Make(k, FaultAction::DropLine, n);
    return r;
}

FaultRule FaultRule::DsrLow(CommandKind k, int n) {
    return Make(k, FaultAction::DsrLow, n);
}

std::vector<FaultRule> SimFaults::Match(CommandKind kind, int numberOfKind,
                                        int numberOverall) const {
    std::vector<FaultRule> out;
    for (const FaultRule& r : m_rules)
        if (r.Matches(kind, numberOfKind, numberOverall)) out.push_back(r);
    return out;
}

}  // namespace rtq::sim
