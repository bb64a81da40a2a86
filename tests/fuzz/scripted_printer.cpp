#include "tests/fuzz/scripted_printer.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"

namespace rtq::fuzz {

namespace {

using rtq::sim::CommandKind;

constexpr uint8_t kAck = 0x06;
constexpr char kIdentity[] = "Mobile Printer";

}  // namespace

ScriptedPrinter::ScriptedPrinter(FuzzInput& in) : m_in(in) {}

void ScriptedPrinter::HostWrote(const uint8_t* data, size_t len) {
    size_t done = 0;
    bool stalled = false;
    while (done < len) {
        const size_t n = m_parser.Feed(data + done, len - done);
        if (n == 0 && stalled) break;  // the frames target checks the parser
        stalled = n == 0;
        done += n;
    }
}

size_t ScriptedPrinter::Arrived() const {
    const int64_t now = rtq::NowMs();
    size_t n = 0;
    for (const Piece& p : m_pieces) {
        if (p.dueMs > now) break;
        n += p.bytes.size();
    }
    return n;
}

int64_t ScriptedPrinter::NextArrivalMs() const {
    return m_pieces.empty() ? -1 : m_pieces.front().dueMs;
}

size_t ScriptedPrinter::Take(uint8_t* buf, size_t max) {
    const int64_t now = rtq::NowMs();
    std::vector<uint8_t>& log = m_commands.empty() ? m_takenBefore : m_commands.back().taken;
    size_t got = 0;
    while (got < max && !m_pieces.empty() && m_pieces.front().dueMs <= now) {
        std::vector<uint8_t>& bytes = m_pieces.front().bytes;
        const size_t n = std::min(max - got, bytes.size());
        std::memcpy(buf + got, bytes.data(), n);
        log.insert(log.end(), bytes.begin(), bytes.begin() + static_cast<long>(n));
        bytes.erase(bytes.begin(), bytes.begin() + static_cast<long>(n));
        got += n;
        if (bytes.empty()) m_pieces.pop_front();
    }
    return got;
}

void ScriptedPrinter::DropArrived() {
    const int64_t now = rtq::NowMs();
    while (!m_pieces.empty() && m_pieces.front().dueMs <= now) m_pieces.pop_front();
}

void ScriptedPrinter::OnDataHeader(uint16_t, uint32_t) { m_dataCrc.Reset(); }

void ScriptedPrinter::OnData(const uint8_t* data, size_t len) {
    m_dataCrc.Update(data, len);
}

void ScriptedPrinter::OnLoose(size_t) {}

void ScriptedPrinter::OnFrame(const rtq::sim::Frame& frame) {
    Command c;
    c.kind = frame.kind;
    c.sector = frame.sector;
    c.text = frame.text;
    c.pinGiven = frame.pinGiven;
    if (frame.kind == CommandKind::Select) m_selected = frame.sector;
    if (frame.kind == CommandKind::Data) {
        c.sector = m_selected;
        c.dataCrc = m_dataCrc.Value();
        c.dataSize = frame.size;
        m_lastDataCrc = m_dataCrc.Value();
    }
    m_commands.push_back(std::move(c));
    Answer(frame.kind);
}

std::vector<uint8_t> ScriptedPrinter::RightAnswer(CommandKind kind) const {
    switch (kind) {
        case CommandKind::LineCheck: return {kAck, 0x00};
        case CommandKind::Identity: {
            std::vector<uint8_t> out{kAck};
            out.insert(out.end(), kIdentity, kIdentity + sizeof kIdentity - 1);
            return out;
        }
        case CommandKind::Erase:
        case CommandKind::Select:
        case CommandKind::Data: return {kAck};
        case CommandKind::Checksum:
            return {kAck, static_cast<uint8_t>(m_lastDataCrc & 0xFF),
                    static_cast<uint8_t>(m_lastDataCrc >> 8)};
        case CommandKind::RecalculateCrc: return {kAck, 0x34, 0x12};
        default: return {};  // switch, reset, settings: nothing comes back
    }
}

// One decision byte per command: bits 0-2 what is answered, bits 3-4 when,
// bit 5 stray bytes behind it. Zero is the right answer at once.
void ScriptedPrinter::Answer(CommandKind kind) {
    const uint8_t mode = m_in.Byte();
    std::vector<uint8_t> bytes;
    switch (mode & 7) {
        case 5:  // one byte damaged (or one byte where none belongs)
            bytes = RightAnswer(kind);
            if (bytes.empty()) {
                bytes.push_back(m_in.Byte());
            } else {
                const size_t at = m_in.Byte() % bytes.size();
                bytes[at] = m_in.Byte();
            }
            break;
        case 6: bytes = m_in.Bytes(24); break;
        case 7: break;  // silence
        default: bytes = RightAnswer(kind); break;
    }
    if (mode & 0x20) {
        const std::vector<uint8_t> stray = m_in.Bytes(4);
        bytes.insert(bytes.end(), stray.begin(), stray.end());
    }
    if (bytes.empty()) return;

    const int64_t now = rtq::NowMs();
    switch ((mode >> 3) & 3) {
        case 0: Schedule(now, std::move(bytes)); break;
        case 1: Schedule(now + m_in.U16(), std::move(bytes)); break;
        case 2: {  // in pieces, each a little later than the last
            int64_t due = now;
            size_t at = 0;
            while (at < bytes.size()) {
                const size_t n = std::min<size_t>(1 + m_in.Byte() % 4, bytes.size() - at);
                due += m_in.Byte() * 20;
                Schedule(due, std::vector<uint8_t>(bytes.begin() + static_cast<long>(at),
                                                   bytes.begin() + static_cast<long>(at + n)));
                at += n;
            }
            break;
        }
        default: Schedule(now + m_in.Range(0, 200000), std::move(bytes)); break;
    }
}

void ScriptedPrinter::Schedule(int64_t dueMs, std::vector<uint8_t> bytes) {
    // Bytes on one line arrive in the order they were sent.
    m_lastDueMs = std::max(m_lastDueMs, dueMs);
    m_pieces.push_back(Piece{m_lastDueMs, std::move(bytes)});
}

}  // namespace rtq::fuzz
