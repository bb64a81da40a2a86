#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/sim_crc.h"
#include "sim/sim_printer.h"
#include "tests/sim/frames.h"

namespace rtq::sim {
namespace {

using namespace rtq::sim::test;

Bytes Talk(SimPrinter& p, const Bytes& frames) {
    p.Receive(frames);
    return p.TakeOutput();
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

class SimPrinterTest : public ::testing::Test {
protected:
    rtq::VirtualClock clock;
    rtq::ScopedClock scoped{clock};
};

TEST_F(SimPrinterTest, NormalModeAnswersNothingAndTouchesNoFlash) {
    SimPrinter p;
    p.WriteFlash(0x20000, Bytes(16, 0x00));
    EXPECT_EQ(p.Mode(), SimMode::Normal);
    EXPECT_TRUE(Talk(p, Cat({Text("hello"), LineFrame(), IdentityFrame(), EraseFrame(6),
                             SelectFrame(6), DataFrame(Bytes(4, 0)), ChecksumFrame()}))
                    .empty());
    EXPECT_EQ(p.ReadFlash(0x20000, 2), Bytes(2, 0x00)) << "erase done in normal mode";
    EXPECT_EQ(p.PrintedBytes(), 5u);
    const auto erase = p.CommandsOf(CommandKind::Erase);
    ASSERT_EQ(erase.size(), 1u);
    EXPECT_TRUE(erase[0].ignored);
    EXPECT_TRUE(p.ErasedSectors().empty());
    EXPECT_EQ(p.SelectedSector(), 0);
}

TEST_F(SimPrinterTest, SwitchThenLineCheckAndIdentity) {
    SimPrinter p;
    EXPECT_TRUE(Talk(p, SwitchFrame()).empty());
    EXPECT_EQ(p.Mode(), SimMode::Download);
    EXPECT_EQ(Talk(p, LineFrame()), (Bytes{0x06, 0x00}));
    EXPECT_EQ(Talk(p, IdentityFrame()), Cat({Bytes{0x06}, Text("Mobile Printer")}));
    // A second switch in download mode changes nothing.
    EXPECT_TRUE(Talk(p, SwitchFrame()).empty());
    EXPECT_EQ(p.Mode(), SimMode::Download);

    SimConfig other;
    other.identity = "Desk Printer 99";
    other.lineStatus = 0x5A;
    SimPrinter q(other);
    EXPECT_EQ(Talk(q, Cat({SwitchFrame(), LineFrame(), IdentityFrame()})),
              Cat({Bytes{0x06, 0x5A, 0x06}, Text("Desk Printer 99")}));
}

TEST_F(SimPrinterTest, SectorDownloadWritesFlashAndAnswersItsChecksum) {
    SimPrinter p;
    const Bytes data = Pattern(65536, 9);
    EXPECT_EQ(Talk(p, Cat({SwitchFrame(), EraseFrame(8), SelectFrame(8), DataFrame(data)})),
              (Bytes{0x06, 0x06, 0x06}));
    EXPECT_EQ(p.Sector(8), data);
    EXPECT_EQ(p.ReadFlash(0x3FFFF, 1), Bytes{0xFF});
    EXPECT_EQ(p.ReadFlash(0x50000, 1), Bytes{0xFF});
    const uint16_t crc = SimCrc16::Of(data.data(), data.size());
    EXPECT_EQ(Talk(p, ChecksumFrame()),
              (Bytes{0x06, static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8)}));

    // A short block fills the start of the sector; the rest keeps 0xFF.
    EXPECT_EQ(Talk(p, Cat({EraseFrame(2), SelectFrame(2), DataFrame(Text("abc")),
                           ChecksumFrame()})),
              (Bytes{0x06, 0x06, 0x06, 0x06, 0x38, 0x97}));
    EXPECT_EQ(p.ReadFlash(0x4000, 4), (Bytes{'a', 'b', 'c', 0xFF}));
    EXPECT_EQ(p.Sector(2).size(), 8192u);

    const auto writes = p.CommandsOf(CommandKind::Data);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].sector, 8);
    EXPECT_EQ(writes[0].size, 65536u);
    EXPECT_EQ(writes[1].crc, 0x9738);
    EXPECT_EQ(p.WrittenSectors(), (std::vector<int>{8, 2}));
}

TEST_F(SimPrinterTest, WritingAnUnerasedSectorCorruptsIt) {
    const Bytes old = Pattern(8192, 1);
    const Bytes fresh = Pattern(8192, 100);
    Bytes anded(8192);
    for (size_t i = 0; i < anded.size(); ++i) anded[i] = old[i] & fresh[i];
    ASSERT_NE(anded, fresh);

    SimPrinter p;
    p.WriteFlash(0x6000, old);
    Talk(p, Cat({SwitchFrame(), SelectFrame(3), DataFrame(fresh)}));
    EXPECT_EQ(p.Sector(3), anded);
    Talk(p, Cat({EraseFrame(3), SelectFrame(3), DataFrame(fresh)}));
    EXPECT_EQ(p.Sector(3), fresh);

    // Read back from the flash, the checksum shows the missing erase.
    SimConfig readback;
    readback.checksumFromFlash = true;
    SimPrinter q(readback);
    q.WriteFlash(0x6000, old);
    const Bytes answer = Talk(q, Cat({SwitchFrame(), SelectFrame(3), DataFrame(fresh),
                                      ChecksumFrame()}));
    const uint16_t crc = SimCrc16::Of(anded.data(), anded.size());
    EXPECT_EQ(answer, (Bytes{0x06, 0x06, 0x06, static_cast<uint8_t>(crc),
                             static_cast<uint8_t>(crc >> 8)}));

    SimConfig overwrite;
    overwrite.andProgramming = false;
    SimPrinter r(overwrite);
    r.WriteFlash(0x6000, old);
    Talk(r, Cat({SwitchFrame(), SelectFrame(3), DataFrame(fresh)}));
    EXPECT_EQ(r.Sector(3), fresh);
}

TEST_F(SimPrinterTest, RefusesWhatItCannotDo) {
    SimPrinter p;
    p.FillFlash(0x00);
    Talk(p, SwitchFrame());
    EXPECT_EQ(Talk(p, EraseFrame(0)), Bytes{0x15});
    EXPECT_EQ(Talk(p, EraseFrame(71)), Bytes{0x15});
    EXPECT_EQ(Talk(p, DataFrame(Text("xyz"))), Bytes{0x15}) << "no sector selected";
    EXPECT_EQ(p.ReadFlash(0, 3), Bytes(3, 0x00));

    Talk(p, SelectFrame(2));
    EXPECT_EQ(Talk(p, SelectFrame(0)), Bytes{0x15});
    EXPECT_EQ(p.SelectedSector(), 0) << "a refused select leaves no sector selected";
    EXPECT_EQ(Talk(p, DataFrame(Text("xyz"))), Bytes{0x15});

    // More data than the sector holds: what fits is written, then NAK.
    Talk(p, Cat({EraseFrame(2), SelectFrame(2)}));
    EXPECT_EQ(Talk(p, DataFrame(Bytes(16384, 0x77))), Bytes{0x15});
    EXPECT_EQ(p.Sector(2), Bytes(8192, 0x77));
    EXPECT_EQ(p.ReadFlash(0x6000, 1), Bytes{0x00}) << "spilled into sector 3";
    EXPECT_TRUE(p.CommandsOf(CommandKind::Data).back().refused);
    EXPECT_TRUE(p.WrittenSectors().empty());

    // Unknown frames and bytes outside frames get no answer.
    EXPECT_TRUE(Talk(p, Cat({Bytes{0x1D, 0x42}, Bytes{0x00, 0x41}})).empty());
    EXPECT_EQ(p.StrayBytes(), 2u);
    EXPECT_EQ(Talk(p, LineFrame()), (Bytes{0x06, 0x00})) << "out of step after junk";
}

TEST_F(SimPrinterTest, ResetReturnsToNormalModeWithoutAnswer) {
    SimPrinter p;
    Talk(p, Cat({ResetFrame(), SwitchFrame(), SelectFrame(6)}));
    EXPECT_EQ(p.DownloadResets(), 0) << "a reset in normal mode ends no download";
    EXPECT_TRUE(Talk(p, ResetFrame()).empty());
    EXPECT_EQ(p.Mode(), SimMode::Normal);
    EXPECT_EQ(p.DownloadResets(), 1);
    EXPECT_EQ(p.SelectedSector(), 0);
    EXPECT_TRUE(Talk(p, LineFrame()).empty());
    // Back in again: the old selection is gone.
    EXPECT_EQ(Talk(p, Cat({SwitchFrame(), DataFrame(Text("a"))})), Bytes{0x15});
}

TEST_F(SimPrinterTest, StoresPinCodeAndFriendlyNameInNormalModeOnly) {
    SimPrinter p;
    EXPECT_FALSE(p.PinCode().has_value());
    EXPECT_TRUE(Talk(p, Cat({PinFrame("0000"), NameFrame("Shop 12")})).empty());
    EXPECT_EQ(p.PinCode(), "0000");
    EXPECT_EQ(p.FriendlyName(), "Shop 12");
    Talk(p, Bytes{0x1D, 0x1D, 0x50, 0x00, 0x00});
    EXPECT_EQ(p.PinCode(), "");
    Talk(p, Bytes{0x1D, 0x1D, 0x51, 0x46, 0x00});
    EXPECT_EQ(p.FriendlyName(), "");
    EXPECT_EQ(p.PrintedBytes(), 0u);

    Talk(p, Cat({SwitchFrame(), PinFrame("9999"), NameFrame("x")}));
    EXPECT_EQ(p.PinCode(), "");
    EXPECT_EQ(p.FriendlyName(), "");
    const auto names = p.CommandsOf(CommandKind::FriendlyName);
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0].text, "Shop 12");
    EXPECT_TRUE(names[2].ignored);
}

TEST_F(SimPrinterTest, RecalculatedCrcCoversTheMainArea) {
    SimPrinter p;
    auto recalc = [&] {
        const Bytes a = Talk(p, RecalcFrame());
        EXPECT_EQ(a.size(), 3u);
        EXPECT_EQ(a[0], 0x06);
        return static_cast<uint16_t>(a[1] | (a[2] << 8));
    };
    Talk(p, SwitchFrame());
    const uint16_t blank = recalc();
    const Bytes all = p.Flash();
    EXPECT_EQ(blank, SimCrc16::Of(all.data() + 0x20000, 0x100000 - 0x20000));
    Talk(p, Cat({EraseFrame(6), SelectFrame(6), DataFrame(Text("MAIN"))}));
    EXPECT_NE(recalc(), blank);
    Talk(p, Cat({EraseFrame(6)}));
    EXPECT_EQ(recalc(), blank);
    Talk(p, Cat({EraseFrame(20), SelectFrame(20), DataFrame(Text("MB01"))}));
    EXPECT_EQ(recalc(), blank) << "the font area is not main firmware";
}

TEST_F(SimPrinterTest, EventLogTellsTheStory) {
    SimPrinter p;
    std::vector<std::string> seen;
    p.SetObserver([&](const SimEvent& e) { seen.push_back(DescribeEvent(e)); });
    LineSettings fast;
    fast.known = true;
    fast.baud = 38400;
    fast.parity = 'E';
    p.SetLine({true, 9600, 'N', 1, 8});
    Talk(p, SwitchFrame());
    p.SetLine(fast);
    Talk(p, Cat({EraseFrame(6), EraseFrame(8), EraseFrame(7), EraseFrame(6), ResetFrame()}));
    EXPECT_EQ(p.ErasedSectors(), (std::vector<int>{6, 8, 7, 6}));

    const auto events = p.Events();
    ASSERT_EQ(events.size(), 8u);
    EXPECT_EQ(events[0].kind, CommandKind::Switch);
    EXPECT_EQ(events[0].line.baud, 9600u);
    EXPECT_EQ(events[1].type, EventType::ModeChange);
    EXPECT_EQ(events[1].mode, SimMode::Download);
    EXPECT_EQ(events[2].line, fast);
    EXPECT_EQ(events[2].answer, Bytes{0x06});
    EXPECT_EQ(events[5].number, 4) << "running number among erases";
    EXPECT_EQ(events[6].kind, CommandKind::Reset);
    EXPECT_EQ(events[6].mode, SimMode::Download);
    EXPECT_EQ(events[7].type, EventType::ModeChange);
    EXPECT_EQ(events[7].mode, SimMode::Normal);
    EXPECT_EQ(p.CommandCount(CommandKind::Erase), 4);
    ASSERT_EQ(seen.size(), events.size());
    EXPECT_EQ(seen[2], "erase 6 @38400 -> 06");

    p.ClearEvents();
    EXPECT_TRUE(p.Events().empty());
}

TEST_F(SimPrinterTest, EventLogKeepsTheLatestEventsAndCountsEveryCommand) {
    SimPrinter p;
    size_t seen = 0;
    p.SetObserver([&](const SimEvent&) { ++seen; });
    const Bytes unknown = {0x1D, 0x77};
    constexpr size_t kFrames = 200000;
    // Half in one burst, half frame by frame.
    Bytes burst;
    for (size_t i = 0; i < kFrames / 2; ++i) burst.insert(burst.end(), unknown.begin(), unknown.end());
    p.Receive(burst);
    for (size_t i = 0; i < kFrames / 2; ++i) p.Receive(unknown);
    Talk(p, Cat({SwitchFrame(), EraseFrame(6)}));

    EXPECT_EQ(seen, kFrames + 3) << "the observer still hears every event";
    EXPECT_EQ(p.CommandCount(CommandKind::Unknown), static_cast<int>(kFrames));
    const auto events = p.Events();
    EXPECT_LE(events.size(), SimConfig{}.eventLogLimit);
    EXPECT_EQ(p.DroppedEvents(), kFrames + 3 - events.size());
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.back().kind, CommandKind::Erase);
    EXPECT_EQ(events[events.size() - 3].kind, CommandKind::Switch);
    EXPECT_EQ(events.front().kind, CommandKind::Unknown);
    EXPECT_EQ(p.ErasedSectors(), (std::vector<int>{6}));

    SimConfig small;
    small.eventLogLimit = 2;
    SimPrinter q(small);
    Talk(q, Cat({SwitchFrame(), LineFrame(), IdentityFrame()}));
    ASSERT_EQ(q.Events().size(), 2u);
    EXPECT_EQ(q.Events()[0].kind, CommandKind::LineCheck);
    EXPECT_EQ(q.DroppedEvents(), 2u);
    q.ClearEvents();
    EXPECT_EQ(q.DroppedEvents(), 0u);
}

TEST_F(SimPrinterTest, RestartAfterIplUpperHalfMakesThePrinterDeafForAWhile) {
    SimConfig c;
    c.iplRestartMs = 8000;
    SimPrinter p(c);
    EXPECT_EQ(Talk(p, Cat({SwitchFrame(), SelectFrame(5), DataFrame(Pattern(65536, 5)),
                           LineFrame()})),
              (Bytes{0x06, 0x06})) << "the line check in the same burst must be lost";
    clock.Advance(7999);
    EXPECT_TRUE(Talk(p, LineFrame()).empty());
    clock.Advance(1);
    EXPECT_EQ(Talk(p, LineFrame()), (Bytes{0x06, 0x00}));
    EXPECT_EQ(p.Mode(), SimMode::Download);
    EXPECT_EQ(p.LostBytes(), 4u);
    EXPECT_EQ(p.Sector(5), Pattern(65536, 5));
    bool restarted = false;
    for (const SimEvent& e : p.Events()) restarted |= e.type == EventType::Restart;
    EXPECT_TRUE(restarted);
}

}  // namespace
}  // namespace rtq::sim
