#include "sim/sim_event.h"

#include <algorithm>
#include <cstdio>

namespace rtq::sim {

bool SimEvent::Executed() const {
    if (type != EventType::Command || ignored || refused) return false;
    return std::none_of(faults.begin(), faults.end(), [](FaultAction a) {
        return a == FaultAction::Nak || a == FaultAction::Silent ||
               a == FaultAction::DropLine;
    });
}

namespace {

std::string Hex(const std::vector<uint8_t>& bytes, size_t max = 16) {
    std::string s;
    char buf[4];
    for (size_t i = 0; i < bytes.size() && i < max; ++i) {
        std::snprintf(buf, sizeof buf, "%s%02X", i ? " " : "", bytes[i]);
        s += buf;
    }
    if (bytes.size() > max) s += " ...";
    return s;
}

}  // namespace

std::string DescribeEvent(const SimEvent& e) {
    char buf[160];
    std::string s;
    switch (e.type) {
        case EventType::ModeChange:
            return std::string("mode ") + SimModeName(e.mode);
        case EventType::Restart:
            return "restart";
        case EventType::LineDropped:
            return "line dropped";
        case EventType::Printed:
        case EventType::Stray:
        case EventType::Lost:
            std::snprintf(buf, sizeof buf, "%zu %s byte(s)", e.count,
                          e.type == EventType::Printed ? "printed"
                          : e.type == EventType::Stray ? "stray"
                                                       : "lost");
            return buf;
        case EventType::Command:
            break;
    }
    s = CommandKindName(e.kind);
    switch (e.kind) {
        case CommandKind::Erase:
        case CommandKind::Select:
            s += " " + std::to_string(e.sector);
            break;
        case CommandKind::Data:
            std::snprintf(buf, sizeof buf, " sector %d size %u crc %04X",
                          e.sector, e.size, e.crc);
            s += buf;
            break;
        case CommandKind::PinCode:
        case CommandKind::FriendlyName:
            s += " \"" + e.text + "\"";
            break;
        case CommandKind::Unknown:
            s += " [" + Hex(e.raw) + "]";
            break;
        default:
            break;
    }
    if (e.line.known) {
        std::snprintf(buf, sizeof buf, " @%u", e.line.baud);
        s += buf;
    }
    if (e.ignored) s += " (ignored in ";
    if (e.ignored) s += std::string(SimModeName(e.mode)) + " mode)";
    if (e.refused) s += " (refused)";
    for (FaultAction a : e.faults) s += std::string(" [") + FaultActionName(a) + "]";
    if (!e.answer.empty()) s += " -> " + Hex(e.answer);
    return s;
}

}  // namespace rtq::sim
