// The simulated printer's frame parser on arbitrary byte streams. The same
// stream is fed whole and in fuzzer-chosen chunks; both must give the same
// events, and the events must account for every byte of the stream: each
// frame re-encodes to exactly the bytes it was parsed from.

#include <algorithm>
#include <vector>

#include "sim/frame_parser.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

using rtq::sim::CommandKind;
using rtq::sim::Frame;

struct Event {
    enum Type { Header, Data, Whole, Loose } type;
    Frame frame;                // Whole
    std::vector<uint8_t> data;  // Data
    size_t count = 0;           // Loose
    uint16_t word = 0;          // Header
    uint32_t size = 0;          // Header
};

bool SameFrame(const Frame& a, const Frame& b) {
    return a.kind == b.kind && a.sector == b.sector && a.word == b.word &&
           a.size == b.size && a.text == b.text && a.pinGiven == b.pinGiven &&
           a.raw == b.raw;
}

bool SameEvent(const Event& a, const Event& b) {
    if (a.type != b.type) return false;
    switch (a.type) {
        case Event::Header: return a.word == b.word && a.size == b.size;
        case Event::Data: return a.data == b.data;
        case Event::Loose: return a.count == b.count;
        case Event::Whole: return SameFrame(a.frame, b.frame);
    }
    return false;
}

// Keeps the events, joining neighbouring data and loose bytes, whose
// split depends only on how the stream was cut.
class Recorder : public rtq::sim::FrameSink {
public:
    void OnDataHeader(uint16_t word, uint32_t size) override {
        Event e{Event::Header, {}, {}, 0, word, size};
        events.push_back(e);
    }
    void OnData(const uint8_t* data, size_t len) override {
        FUZZ_CHECK(len > 0, "empty data event");
        if (events.empty() || events.back().type != Event::Data)
            events.push_back(Event{Event::Data, {}, {}, 0, 0, 0});
        events.back().data.insert(events.back().data.end(), data, data + len);
    }
    void OnFrame(const Frame& frame) override {
        events.push_back(Event{Event::Whole, frame, {}, 0, 0, 0});
    }
    void OnLoose(size_t count) override {
        FUZZ_CHECK(count > 0, "empty loose event");
        if (events.empty() || events.back().type != Event::Loose)
            events.push_back(Event{Event::Loose, {}, {}, 0, 0, 0});
        events.back().count += count;
    }
    std::vector<Event> events;
};

// Feeds one piece the way a caller must: again from where Feed stopped.
void FeedPiece(rtq::sim::FrameParser& parser, const uint8_t* data, size_t len) {
    size_t done = 0;
    bool stalled = false;
    while (done < len) {
        const size_t n = parser.Feed(data + done, len - done);
        FUZZ_CHECK(n <= len - done, "Feed consumed more than it was given");
        // A byte is handed back only once, to be read again from Idle.
        FUZZ_CHECK(n > 0 || !stalled, "Feed made no progress twice");
        stalled = n == 0;
        if (stalled) FUZZ_CHECK(!parser.InFrame(), "Feed stalled inside a frame");
        done += n;
    }
}

std::vector<uint8_t> Encode(const Frame& f) {
    switch (f.kind) {
        case CommandKind::Switch: return {0x1D, 0x5B, 0x7D};
        case CommandKind::LineCheck: return {0x1D, 0x01};
        case CommandKind::Identity: return {0x1D, 0x00};
        case CommandKind::Checksum: return {0x1D, 0x06};
        case CommandKind::RecalculateCrc: return {0x1D, 0x0F};
        case CommandKind::Reset: return {0x1D, 0xFF};
        case CommandKind::Erase: return {0x1D, 0x10, static_cast<uint8_t>(f.sector)};
        case CommandKind::Select: return {0x1D, 0x02, static_cast<uint8_t>(f.sector)};
        case CommandKind::PinCode: {
            std::vector<uint8_t> out{0x1D, 0x1D, 0x50, f.pinGiven ? uint8_t{1} : uint8_t{0}};
            out.insert(out.end(), f.text.begin(), f.text.end());
            out.push_back(0x00);
            return out;
        }
        case CommandKind::FriendlyName: {
            std::vector<uint8_t> out{0x1D, 0x1D, 0x51, 0x46,
                                     static_cast<uint8_t>(f.text.size())};
            out.insert(out.end(), f.text.begin(), f.text.end());
            return out;
        }
        case CommandKind::Unknown: return f.raw;
        default: FUZZ_CHECK(false, "frame of an impossible kind");
    }
    return {};
}

// Walks the stream along the events; returns where the events end.
size_t Account(const std::vector<Event>& events, const std::vector<uint8_t>& s) {
    size_t at = 0;
    auto expect = [&](const std::vector<uint8_t>& bytes, const char* what) {
        FUZZ_CHECK(at + bytes.size() <= s.size(), what);
        FUZZ_CHECK(std::equal(bytes.begin(), bytes.end(), s.begin() + static_cast<long>(at)),
                   what);
        at += bytes.size();
    };
    uint64_t dataLeft = 0;
    bool inData = false;
    for (const Event& e : events) {
        switch (e.type) {
            case Event::Loose:
                FUZZ_CHECK(at + e.count <= s.size(), "loose bytes past the stream");
                FUZZ_CHECK(std::find(s.begin() + static_cast<long>(at),
                                     s.begin() + static_cast<long>(at + e.count),
                                     0x1D) == s.begin() + static_cast<long>(at + e.count),
                           "a 1D was passed over as loose");
                at += e.count;
                break;
            case Event::Header: {
                FUZZ_CHECK(!inData, "data header inside a data frame");
                FUZZ_CHECK(e.size >= 1 && e.size <= 65536, "data size out of range");
                const uint32_t wire = e.size == 65536 ? 0 : e.size;
                expect({0x1D, 0x11, static_cast<uint8_t>(e.word & 0xFF),
                        static_cast<uint8_t>(e.word >> 8), static_cast<uint8_t>(wire & 0xFF),
                        static_cast<uint8_t>(wire >> 8)},
                       "data header differs from the stream");
                inData = true;
                dataLeft = e.size;
                break;
            }
            case Event::Data:
                FUZZ_CHECK(inData && e.data.size() <= dataLeft, "data beyond the frame's size");
                expect(e.data, "data bytes differ from the stream");
                dataLeft -= e.data.size();
                break;
            case Event::Whole:
                if (e.frame.kind == CommandKind::Data) {
                    FUZZ_CHECK(inData && dataLeft == 0, "data frame ended early or twice");
                    inData = false;
                    break;
                }
                FUZZ_CHECK(!inData, "frame inside a data frame");
                if (e.frame.kind == CommandKind::Unknown)
                    FUZZ_CHECK(!e.frame.raw.empty() && e.frame.raw[0] == 0x1D,
                               "unknown frame without its prefix");
                expect(Encode(e.frame), "frame differs from the bytes it was parsed from");
                break;
        }
    }
    return at;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rtq::fuzz::FuzzInput in(data, size);
    std::vector<size_t> cuts(in.Byte() % 16);
    for (size_t& c : cuts) c = 1 + in.Byte() % 64;
    const std::vector<uint8_t> stream = in.Rest();

    Recorder whole;
    rtq::sim::FrameParser wholeParser(whole);
    FeedPiece(wholeParser, stream.data(), stream.size());

    Recorder pieces;
    rtq::sim::FrameParser piecesParser(pieces);
    size_t at = 0;
    for (size_t i = 0; at < stream.size(); ++i) {
        const size_t n = cuts.empty() ? 1 : std::min(cuts[i % cuts.size()], stream.size() - at);
        FeedPiece(piecesParser, stream.data() + at, n);
        at += n;
    }

    FUZZ_CHECK(whole.events.size() == pieces.events.size(),
               "the cut changed the number of events");
    for (size_t i = 0; i < whole.events.size(); ++i)
        FUZZ_CHECK(SameEvent(whole.events[i], pieces.events[i]), "the cut changed an event");
    FUZZ_CHECK(wholeParser.InFrame() == piecesParser.InFrame(), "the cut changed the end state");

    const size_t accounted = Account(whole.events, stream);
    if (wholeParser.InFrame()) {
        FUZZ_CHECK(accounted <= stream.size(), "events past the stream");
        if (accounted < stream.size())
            FUZZ_CHECK(stream[accounted] == 0x1D, "pending frame without its prefix");
    } else {
        FUZZ_CHECK(accounted == stream.size(), "bytes lost between the events");
    }
    return 0;
}
