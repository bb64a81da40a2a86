#pragma once
// Fault injection for the simulated printer. A rule picks commands by kind
// and by their running number among the commands of that kind (counted
// from 1 since the printer was created, ignored ones included), and says
// what goes wrong with them.

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_types.h"

namespace rtq::sim {

enum class FaultAction : uint8_t {
    Nak,            // answer NAK alone; the command is refused (no effect)
    Silent,         // the command is lost on the way: no effect, no answer
    WrongByte,      // executed, but the whole answer is one wrong byte
    AckOnly,        // executed, only the ACK of a longer answer arrives
    WrongChecksum,  // checksum and CRC answers carry value ^ checksumXor
    WrongIdentity,  // the identity answer carries `identity` instead
    Delay,          // the answer is released delayMs later
    DropLine,       // the line goes dead from this command on: the printer
                    // hears nothing more until the line is restored
    DsrLow,         // once the command is heard the printer holds DSR low
};

const char* FaultActionName(FaultAction action);

struct FaultRule {
    CommandKind kind = CommandKind::Any;
    FaultAction action = FaultAction::Nak;
    int nth = 1;    // first command (1-based) the rule applies to
    int times = 1;  // how many commands from nth on; 0: every one
    uint8_t wrongByte = 0x41;
    uint16_t checksumXor = 0xFFFF;
    std::string identity = "Mobile Printes";
    int64_t delayMs = 0;

    bool Matches(CommandKind k, int numberOfKind, int numberOverall) const;

    // Shorthands. n = 0 means every command of the kind.
    static FaultRule Nak(CommandKind k, int n);
    static FaultRule Silent(CommandKind k, int n);
    static FaultRule WrongByte(CommandKind k, int n, uint8_t value = 0x41);
    static FaultRule AckOnly(CommandKind k, int n);
    static FaultRule WrongChecksum(int n, uint16_t xorMask = 0xFFFF);
    static FaultRule WrongIdentity(const std::string& text, int n = 0);
    static FaultRule Delay(CommandKind k, int n, int64_t ms);
    static FaultRule DropLine(CommandKind k, int n);
    static FaultRule DsrLow(CommandKind k, int n);
};

// An ordered set of rules; every matching rule applies, in order.
class SimFaults {
public:
    void Add(const FaultRule& rule) { m_rules.push_back(rule); }
    void Clear() { m_rules.clear(); }
    bool Empty() const { return m_rules.empty(); }
    // The rules that apply to a command, in order.
    std::vector<FaultRule> Match(CommandKind kind, int numberOfKind,
                                 int numberOverall) const;

private:
    std::vector<FaultRule> m_rules;
};

}  // namespace rtq::sim
