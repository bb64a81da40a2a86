#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/frame_parser.h"
#include "tests/sim/frames.h"

namespace rtq::sim {
namespace {

using namespace rtq::sim::test;

// Everything the parser reported, as one comparable text per event.
class RecordingSink : public FrameSink {
public:
    void OnDataHeader(uint16_t word, uint32_t size) override {
        log.push_back("header " + std::to_string(word) + " " + std::to_string(size));
        data.clear();
    }
    void OnData(const uint8_t* p, size_t n) override { data.insert(data.end(), p, p + n); }
    void OnFrame(const Frame& f) override {
        std::string s = CommandKindName(f.kind);
        if (f.kind == CommandKind::Erase || f.kind == CommandKind::Select)
            s += " " + std::to_string(f.sector);
        if (f.kind == CommandKind::Data)
            s += " " + std::to_string(f.size) + " bytes sum " + std::to_string(Sum(data));
        if (f.kind == CommandKind::PinCode)
            s += std::string(f.pinGiven ? " given" : " empty") + " '" + f.text + "'";
        if (f.kind == CommandKind::FriendlyName) s += " '" + f.text + "'";
        if (f.kind == CommandKind::Unknown) s += " " + std::to_string(f.raw.size()) + " bytes";
        log.push_back(s);
    }
    void OnLoose(size_t count) override { loose += count; }

    static uint64_t Sum(const Bytes& b) {
        uint64_t s = 0;
        for (size_t i = 0; i < b.size(); ++i) s += b[i] * (i + 1);
        return s;
    }

    std::vector<std::string> log;
    Bytes data;
    size_t loose = 0;
};

// Feeds the way a printer does: again and again until all is consumed.
void FeedAll(FrameParser& parser, const uint8_t* p, size_t n) {
    while (n > 0) {
        const size_t used = parser.Feed(p, n);
        p += used;
        n -= used;
    }
}

Bytes Session() {
    return Cat({Bytes{'h', 'i'}, SwitchFrame(), LineFrame(), IdentityFrame(),
                EraseFrame(6), SelectFrame(0x1D), DataFrame(Pattern(300, 0x1D), 0x0102),
                ChecksumFrame(), RecalcFrame(), PinFrame("1234"), PinFrame(""),
                NameFrame("RTQ 650"), NameFrame(""), Bytes{0x07}, ResetFrame()});
}

const std::vector<std::string> kSessionLog = {
    "switch", "line", "identity", "erase 6", "select 29",
    "header 258 300", "data 300 bytes sum " +
        std::to_string(RecordingSink::Sum(Pattern(300, 0x1D))),
    "checksum", "crc", "pin given '1234'", "pin empty ''",
    "name 'RTQ 650'", "name ''", "reset"};

TEST(FrameParser, SeveralFramesInOneChunk) {
    RecordingSink sink;
    FrameParser parser(sink);
    const Bytes s = Session();
    FeedAll(parser, s.data(), s.size());
    EXPECT_EQ(sink.log, kSessionLog);
    EXPECT_EQ(sink.loose, 3u);
    EXPECT_FALSE(parser.InFrame());
}

TEST(FrameParser, FeedStopsAfterEachFrame) {
    RecordingSink sink;
    FrameParser parser(sink);
    const Bytes s = Cat({LineFrame(), EraseFrame(3), Bytes{0x41}});
    EXPECT_EQ(parser.Feed(s.data(), s.size()), 2u);
    EXPECT_EQ(parser.Feed(s.data() + 2, s.size() - 2), 3u);
    EXPECT_EQ(parser.Feed(s.data() + 5, 1), 1u);
    EXPECT_EQ(sink.loose, 1u);
}

TEST(FrameParser, SplitAtEveryByteBoundary) {
    const Bytes s = Session();
    for (size_t cut = 0; cut <= s.size(); ++cut) {
        RecordingSink sink;
        FrameParser parser(sink);
        FeedAll(parser, s.data(), cut);
        FeedAll(parser, s.data() + cut, s.size() - cut);
        ASSERT_EQ(sink.log, kSessionLog) << "split at " << cut;
        ASSERT_EQ(sink.loose, 3u) << "split at " << cut;
    }
    RecordingSink sink;
    FrameParser parser(sink);
    for (uint8_t b : s) FeedAll(parser, &b, 1);
    EXPECT_EQ(sink.log, kSessionLog);
}

TEST(FrameParser, FullSectorAnnouncedAsZeroSize) {
    RecordingSink sink;
    FrameParser parser(sink);
    const Bytes data = Pattern(65536, 3);
    const Bytes f = DataFrame(data);
    ASSERT_EQ(f[4], 0x00);
    ASSERT_EQ(f[5], 0x00);
    const Bytes s = Cat({f, LineFrame()});
    FeedAll(parser, s.data(), s.size());
    ASSERT_EQ(sink.log.size(), 3u);
    EXPECT_EQ(sink.log[0], "header 0 65536");
    EXPECT_EQ(sink.data, data);
    EXPECT_EQ(sink.log[2], "line") << "the frame after a full sector was swallowed";
}

TEST(FrameParser, MalformedFramesResyncAtThePrefix) {
    RecordingSink sink;
    FrameParser parser(sink);
    // 1D 5B not followed by 7D; 1D 1D 51 not followed by 46; an unknown
    // code; a bad PIN flag; a PIN empty flag without its 00 terminator.
    const Bytes s = Cat({Bytes{0x1D, 0x5B}, LineFrame(), Bytes{0x1D, 0x1D, 0x51},
                         IdentityFrame(), Bytes{0x1D, 0x42}, Bytes{0x1D, 0x1D, 0x50, 0x07},
                         Bytes{0x1D, 0x1D, 0x50, 0x00, 0x33}, ResetFrame()});
    FeedAll(parser, s.data(), s.size());
    EXPECT_EQ(sink.log, (std::vector<std::string>{
                            "unknown 2 bytes", "line", "unknown 3 bytes", "identity",
                            "unknown 2 bytes", "unknown 3 bytes", "unknown 4 bytes",
                            "reset"}));
    EXPECT_EQ(sink.loose, 2u);  // the bad flag 07 and the stray 33
}

TEST(FrameParser, OverlongPinIsGivenUp) {
    RecordingSink sink;
    FrameParser parser(sink);
    const Bytes s = PinFrame(std::string(FrameParser::kMaxPinLength + 1, 'x'));
    FeedAll(parser, s.data(), s.size());
    ASSERT_FALSE(sink.log.empty());
    EXPECT_EQ(sink.log[0].rfind("unknown", 0), 0u);
    EXPECT_FALSE(parser.InFrame());
}

TEST(FrameParser, ResetForgetsAPartialFrame) {
    RecordingSink sink;
    FrameParser parser(sink);
    const Bytes partial = {0x1D, 0x11, 0x00, 0x00, 0x10};
    FeedAll(parser, partial.data(), partial.size());
    EXPECT_TRUE(parser.InFrame());
    parser.Reset();
    const Bytes line = LineFrame();
    FeedAll(parser, line.data(), line.size());
    EXPECT_EQ(sink.log.back(), "line");
}

}  // namespace
}  // namespace rtq::sim
