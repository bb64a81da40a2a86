#include "sim/frame_parser.h"

#include <algorithm>

namespace rtq::sim {

namespace {
constexpr uint8_t kPrefix = 0x1D;
}

void FrameParser::Reset() {
    m_state = State::Idle;
    m_frame = Frame{};
    m_raw.clear();
    m_need = m_have = 0;
}

void FrameParser::Complete(bool* completed) {
    const Frame frame = std::move(m_frame);
    Reset();
    *completed = true;
    m_sink.OnFrame(frame);
}

void FrameParser::Malformed() {
    Frame unknown;
    unknown.kind = CommandKind::Unknown;
    unknown.raw = m_raw;
    Reset();
    m_sink.OnFrame(unknown);
}

size_t FrameParser::Feed(const uint8_t* data, size_t len) {
    size_t i = 0;
    size_t loose = 0;
    auto flushLoose = [&] {
        if (loose) m_sink.OnLoose(loose);
        loose = 0;
    };
    while (i < len) {
        if (m_state == State::DataBody) {
            const size_t n = std::min(len - i, m_need);
            m_sink.OnData(data + i, n);
            i += n;
            m_need -= n;
            if (m_need == 0) {
                bool completed = false;
                Complete(&completed);
                return i;
            }
            continue;
        }
        if (m_state == State::Idle) {
            if (data[i] != kPrefix) {
                ++loose;
                ++i;
                continue;
            }
            flushLoose();
        }
        bool completed = false;
        const bool consumed = Step(data[i], &completed);
        if (consumed) ++i;
        // A malformed frame reports itself as a frame too: stop there so
        // the caller sees each frame before the bytes after it.
        if (completed || !consumed) {
            flushLoose();
            return i;
        }
    }
    flushLoose();
    return i;
}

bool FrameParser::Step(uint8_t b, bool* completed) {
    switch (m_state) {
        case State::Idle:
            m_raw.assign(1, b);
            m_state = State::Prefix;
            return true;

        case State::Prefix:
            m_raw.push_back(b);
            switch (b) {
                case 0x00: m_frame.kind = CommandKind::Identity; break;
                case 0x01: m_frame.kind = CommandKind::LineCheck; break;
                case 0x06: m_frame.kind = CommandKind::Checksum; break;
                case 0x0F: m_frame.kind = CommandKind::RecalculateCrc; break;
                case 0xFF: m_frame.kind = CommandKind::Reset; break;
                case 0x02:
                    m_frame.kind = CommandKind::Select;
                    m_state = State::SectorByte;
                    return true;
                case 0x10:
                    m_frame.kind = CommandKind::Erase;
                    m_state = State::SectorByte;
                    return true;
                case 0x11:
                    m_frame.kind = CommandKind::Data;
                    m_state = State::DataHeader;
                    m_have = 0;
                    return true;
                case 0x5B: m_state = State::Switch; return true;
                case 0x1D: m_state = State::Double; return true;
                default:
                    m_frame.kind = CommandKind::Unknown;
                    m_frame.raw = m_raw;
                    break;
            }
            Complete(completed);
            return true;

        case State::Switch:
            if (b != 0x7D) {
                Malformed();
                return false;
            }
            m_frame.kind = CommandKind::Switch;
            Complete(completed);
            return true;

        case State::Double:
            if (b == 0x50) {
                m_raw.push_back(b);
                m_frame.kind = CommandKind::PinCode;
                m_state = State::PinFlag;
                return true;
            }
            if (b == 0x51) {
                m_raw.push_back(b);
                m_state = State::NameTag;
                return true;
            }
            Malformed();
            return false;

        case State::PinFlag:
            if (b == 0x01) {
                m_raw.push_back(b);
                m_frame.pinGiven = true;
                m_state = State::PinChars;
                return true;
            }
            if (b == 0x00) {
                m_raw.push_back(b);
                m_state = State::PinEnd;
                return true;
            }
            Malformed();
            return false;

        case State::PinChars:
            if (b == 0x00) {
                Complete(completed);
                return true;
            }
            if (m_frame.text.size() >= kMaxPinLength) {
                Malformed();
                return false;
            }
            m_raw.push_back(b);
            m_frame.text.push_back(static_cast<char>(b));
            return true;

        case State::PinEnd:
            if (b != 0x00) {
                Malformed();
                return false;
            }
            Complete(completed);
            return true;

        case State::NameTag:
            if (b != 0x46) {
                Malformed();
                return false;
            }
            m_raw.push_back(b);
            m_frame.kind = CommandKind::FriendlyName;
            m_state = State::NameLength;
            return true;

        case State::NameLength:
            m_need = b;
            if (m_need == 0) {
                Complete(completed);
                return true;
            }
            m_state = State::NameChars;
            return true;

        case State::NameChars:
            m_frame.text.push_back(static_cast<char>(b));
            if (--m_need == 0) Complete(completed);
            return true;

        case State::SectorByte:
            m_frame.sector = b;
            Complete(completed);
            return true;

        case State::DataHeader:
            m_header[m_have++] = b;
            if (m_have < 4) return true;
            m_frame.word = static_cast<uint16_t>(m_header[0] | (m_header[1] << 8));
            m_frame.size = static_cast<uint32_t>(m_header[2] | (m_header[3] << 8));
            if (m_frame.size == 0) m_frame.size = 65536;
            m_need = m_frame.size;
            m_state = State::DataBody;
            m_sink.OnDataHeader(m_frame.word, m_frame.size);
            return true;

        case State::DataBody:
            // Handled in bulk by Feed.
            return true;
    }
    return true;
}

}  // namespace rtq::sim
