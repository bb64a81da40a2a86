#pragma once
// A printer whose every answer the fuzzer chooses. What the host writes is
// split into command frames by the simulator's parser (not the host's own
// code); each command is answered with the right reply, a damaged one,
// arbitrary bytes or silence, whole or in pieces, after delays on the
// active clock. It records the commands, the data sent, and which answer
// bytes the host took after each command, for the property checks.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "sim/frame_parser.h"
#include "sim/sim_crc.h"
#include "tests/fuzz/fuzz_input.h"

namespace rtq::fuzz {

struct Command {
    rtq::sim::CommandKind kind = rtq::sim::CommandKind::Unknown;
    int sector = 0;              // Erase, Select; Data: the sector last selected
    uint16_t dataCrc = 0;        // Data: CRC-16/ARC of the bytes sent
    uint32_t dataSize = 0;       // Data
    std::string text;            // PinCode, FriendlyName
    bool pinGiven = false;       // PinCode
    std::vector<uint8_t> taken;  // answer bytes the host read after it
};

class ScriptedPrinter : private rtq::sim::FrameSink {
public:
    explicit ScriptedPrinter(FuzzInput& in);

    // Bytes as they reached the printer.
    void HostWrote(const uint8_t* data, size_t len);

    // Answer bytes that have arrived by now.
    size_t Arrived() const;
    // When the next answer byte arrives; -1 when none is on its way.
    int64_t NextArrivalMs() const;
    // Reads arrived bytes, at most max.
    size_t Take(uint8_t* buf, size_t max);
    // Discards the bytes that have arrived (not those still on their way).
    void DropArrived();

    const std::vector<Command>& Commands() const { return m_commands; }

private:
    struct Piece {
        int64_t dueMs;
        std::vector<uint8_t> bytes;
    };

    void OnDataHeader(uint16_t word, uint32_t size) override;
    void OnData(const uint8_t* data, size_t len) override;
    void OnFrame(const rtq::sim::Frame& frame) override;
    void OnLoose(size_t count) override;

    std::vector<uint8_t> RightAnswer(rtq::sim::CommandKind kind) const;
    void Answer(rtq::sim::CommandKind kind);
    void Schedule(int64_t dueMs, std::vector<uint8_t> bytes);

    FuzzInput& m_in;
    rtq::sim::FrameParser m_parser{*this};
    std::vector<Command> m_commands;
    std::vector<uint8_t> m_takenBefore;  // answer bytes read before any command
    std::deque<Piece> m_pieces;          // in order of arrival
    int64_t m_lastDueMs = 0;
    int m_selected = 0;
    rtq::sim::SimCrc16 m_dataCrc;
    uint16_t m_lastDataCrc = 0;
};

}  // namespace rtq::fuzz
