#pragma once
// Splits the byte stream the printer receives into command frames. The
// grammar is the same in both modes; what a frame does is the printer's
// decision. Frames may be split across any number of Feed calls.
//
// A frame that turns out malformed at some byte is reported as Unknown
// with the bytes before it, and that byte is read again as the possible
// start of a new frame, so the parser falls back into step at the next 1D.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_types.h"

namespace rtq::sim {

struct Frame {
    CommandKind kind = CommandKind::Unknown;
    int sector = 0;              // Erase, Select
    uint16_t word = 0;           // Data: the word w0 w1
    uint32_t size = 0;           // Data: LL HH, with 00 00 meaning 65536
    std::string text;            // PinCode, FriendlyName
    bool pinGiven = false;       // PinCode: the flag byte was 01
    std::vector<uint8_t> raw;    // Unknown: the bytes of the frame
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Data frames: the header has arrived and `size` data bytes follow.
    virtual void OnDataHeader(uint16_t word, uint32_t size) = 0;
    virtual void OnData(const uint8_t* data, size_t len) = 0;
    // A complete frame (for Data after its last data byte).
    virtual void OnFrame(const Frame& frame) = 0;
    // Bytes outside any frame.
    virtual void OnLoose(size_t count) = 0;
};

class FrameParser {
public:
    // Longest PIN code the parser collects before it gives the frame up.
    static constexpr size_t kMaxPinLength = 255;

    explicit FrameParser(FrameSink& sink) : m_sink(sink) {}

    // Consumes bytes up to and including the end of the first frame that
    // completes (so the caller may change its mind about the rest), or all
    // of them. Returns how many were consumed.
    size_t Feed(const uint8_t* data, size_t len);

    // Forgets a partly received frame (a printer restart).
    void Reset();
    bool InFrame() const { return m_state != State::Idle; }

private:
    enum class State {
        Idle,
        Prefix,       // 1D
        Switch,       // 1D 5B
        Double,       // 1D 1D
        PinFlag,      // 1D 1D 50
        PinChars,     // 1D 1D 50 01 ...
        PinEnd,       // 1D 1D 50 00
        NameTag,      // 1D 1D 51
        NameLength,   // 1D 1D 51 46
        NameChars,
        SectorByte,   // 1D 10 or 1D 02
        DataHeader,   // 1D 11 ...
        DataBody,
    };

    // Returns false when the byte must be read again in the Idle state.
    bool Step(uint8_t b, bool* completed);
    void Complete(bool* completed);
    void Malformed();

    FrameSink& m_sink;
    State m_state = State::Idle;
    Frame m_frame;
    std::vector<uint8_t> m_raw;
    uint8_t m_header[4] = {};
    size_t m_need = 0;   // bytes still expected in the current field
    size_t m_have = 0;
};

}  // namespace rtq::sim
