#pragma once
// Vocabulary of the simulated printer: the commands it understands, its
// modes and the line settings a transport reports.

#include <cstdint>
#include <string>
#include <vector>

namespace rtq::sim {

enum class CommandKind : uint8_t {
    Switch,          // 1D 5B 7D
    LineCheck,       // 1D 01
    Identity,        // 1D 00
    Erase,           // 1D 10 ss
    Select,          // 1D 02 ss
    Data,            // 1D 11 w0 w1 LL HH + data
    Checksum,        // 1D 06
    RecalculateCrc,  // 1D 0F
    Reset,           // 1D FF
    PinCode,         // 1D 1D 50 flag chars.. 00
    FriendlyName,    // 1D 1D 51 46 n chars..
    Unknown,         // a 1D frame the printer does not know
    Any,             // only for fault rules: a command of any kind
};

enum class SimMode : uint8_t { Normal, Download };

// Line settings as the transport reports them (known = false when the
// transport cannot tell).
struct LineSettings {
    bool known = false;
    uint32_t baud = 0;
    char parity = 'N';  // 'N', 'O', 'E', 'M' or 'S'
    int stopBits = 1;
    int dataBits = 8;

    bool operator==(const LineSettings&) const = default;
};

// Short lower-case names ("erase", "line", ...), as used on the rtqsim
// command line and in its log.
const char* CommandKindName(CommandKind kind);
// The kind for a name; false for an unknown name.
bool ParseCommandKind(const std::string& name, CommandKind* kind);

// The fields of a command-line value such as "data:2:0.5", split at sep
// (empty fields kept).
std::vector<std::string> SplitFields(const std::string& text, char sep);
const char* SimModeName(SimMode mode);

}  // namespace rtq::sim
