#include "sim/sim_types.h"

#include <array>
#include <utility>

namespace rtq::sim {

namespace {

constexpr std::array<std::pair<CommandKind, const char*>, 13> kNames{{
    {CommandKind::Switch, "switch"},
    {CommandKind::LineCheck, "line"},
    {CommandKind::Identity, "identity"},
    {CommandKind::Erase, "erase"},
    {CommandKind::Select, "select"},
    {CommandKind::Data, "data"},
    {CommandKind::Checksum, "checksum"},
    {CommandKind::RecalculateCrc, "crc"},
    {CommandKind::Reset, "reset"},
    {CommandKind::PinCode, "pin"},
    {CommandKind::FriendlyName, "name"},
    {CommandKind::Unknown, "unknown"},
    {CommandKind::Any, "any"},
}};

}  // namespace

const char* CommandKindName(CommandKind kind) {
    for (const auto& [k, name] : kNames)
        if (k == kind) return name;
    return "?";
}

bool ParseCommandKind(const std::string& name, CommandKind* kind) {
    for (const auto& [k, n] : kNames) {
        if (name == n) {
            *kind = k;
            return true;
        }
    }
    return false;
}

const char* SimModeName(SimMode mode) {
    return mode == SimMode::Download ? "download" : "normal";
}

std::vector<std::string> SplitFields(const std::string& text, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t pos = text.find(sep, start);
        parts.push_back(text.substr(start, pos - start));
        if (pos == std::string::npos) return parts;
        start = pos + 1;
    }
}

}  // namespace rtq::sim
