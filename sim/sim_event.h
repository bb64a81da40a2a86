#pragma once
// One entry of the simulated printer's event log.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_faults.h"
#include "sim/sim_types.h"

namespace rtq::sim {

enum class EventType : uint8_t {
    Command,      // a frame was heard
    ModeChange,   // normal <-> download; `mode` is the new mode
    Restart,      // the printer restarted by itself (after IPL sector 5)
    LineDropped,  // the line went dead (fault)
    Printed,      // bytes outside frames in normal mode (`count`)
    Stray,        // bytes outside frames in download mode (`count`)
    Lost,         // bytes nobody heard: line dead or printer restarting
};

struct SimEvent {
    EventType type = EventType::Command;
    int64_t atMs = 0;                  // active clock
    SimMode mode = SimMode::Normal;    // mode it arrived in / the new mode
    LineSettings line;                 // as the transport last reported it
    size_t count = 0;                  // Printed, Stray, Lost

    // Command
    CommandKind kind = CommandKind::Unknown;
    int number = 0;         // running number among commands of this kind
    bool ignored = false;   // not a command of this mode: no effect
    bool refused = false;   // the printer said NAK by itself (bad sector,
                            // no sector selected, data past the sector)
    int sector = 0;         // Erase, Select; Data: the selected sector
    uint16_t word = 0;      // Data
    uint32_t size = 0;      // Data: bytes announced (65536 for 00 00)
    uint16_t crc = 0;       // Data: CRC of the bytes received
    uint16_t value = 0;     // Checksum, RecalculateCrc: value before faults
    std::string text;       // PinCode, FriendlyName
    std::vector<uint8_t> raw;     // Unknown: its bytes
    std::vector<uint8_t> answer;  // queued answer, faults applied
    int64_t releaseMs = 0;        // when the answer becomes readable
    std::vector<FaultAction> faults;  // rules that applied

    // Took effect: heard in the right mode, not refused, not lost.
    bool Executed() const;
};

std::string DescribeEvent(const SimEvent& e);

}  // namespace rtq::sim
