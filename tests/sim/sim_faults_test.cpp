#include <gtest/gtest.h>

#include <limits>

#include "platform/clock.h"
#include "sim/sim_faults.h"
#include "sim/sim_printer.h"
#include "tests/sim/frames.h"

namespace rtq::sim {
namespace {

using namespace rtq::sim::test;

Bytes Talk(SimPrinter& p, const Bytes& frames) {
    p.Receive(frames);
    return p.TakeOutput();
}

class SimFaultsTest : public ::testing::Test {
protected:
    rtq::VirtualClock clock;
    rtq::ScopedClock scoped{clock};
};

TEST(FaultRule, PicksCommandsByKindAndNumber) {
    FaultRule third = FaultRule::Nak(CommandKind::Erase, 3);
    EXPECT_FALSE(third.Matches(CommandKind::Erase, 2, 9));
    EXPECT_TRUE(third.Matches(CommandKind::Erase, 3, 9));
    EXPECT_FALSE(third.Matches(CommandKind::Erase, 4, 9));
    EXPECT_FALSE(third.Matches(CommandKind::Select, 3, 9));

    FaultRule every = FaultRule::Silent(CommandKind::LineCheck, 0);
    EXPECT_TRUE(every.Matches(CommandKind::LineCheck, 1, 1));
    EXPECT_TRUE(every.Matches(CommandKind::LineCheck, 500, 900));

    FaultRule run = FaultRule::Nak(CommandKind::LineCheck, 2);
    run.times = 3;
    EXPECT_FALSE(run.Matches(CommandKind::LineCheck, 1, 1));
    EXPECT_TRUE(run.Matches(CommandKind::LineCheck, 4, 4));
    EXPECT_FALSE(run.Matches(CommandKind::LineCheck, 5, 5));

    FaultRule overall = FaultRule::DropLine(CommandKind::Any, 5);
    overall.times = 0;
    EXPECT_FALSE(overall.Matches(CommandKind::Data, 1, 4));
    EXPECT_TRUE(overall.Matches(CommandKind::Data, 1, 5));
    EXPECT_TRUE(overall.Matches(CommandKind::Reset, 1, 6));

    SimFaults set;
    set.Add(FaultRule::Delay(CommandKind::Erase, 0, 10));
    set.Add(third);
    const auto hits = set.Match(CommandKind::Erase, 3, 3);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].action, FaultAction::Delay);
    EXPECT_EQ(hits[1].action, FaultAction::Nak);
}

TEST(FaultRule, RunsReachingTheLargestNumberDoNotWrap) {
    constexpr int kMax = std::numeric_limits<int>::max();
    FaultRule last = FaultRule::Nak(CommandKind::Erase, kMax);
    EXPECT_FALSE(last.Matches(CommandKind::Erase, kMax - 1, 1));
    EXPECT_TRUE(last.Matches(CommandKind::Erase, kMax, 1));

    FaultRule longRun = FaultRule::Silent(CommandKind::Any, 2);
    longRun.times = kMax;
    EXPECT_FALSE(longRun.Matches(CommandKind::Data, 1, 1));
    EXPECT_TRUE(longRun.Matches(CommandKind::Data, 1, kMax));
}

TEST_F(SimFaultsTest, NakRefusesOnlyTheChosenCommand) {
    SimPrinter p;
    p.FillFlash(0x00);
    p.AddFault(FaultRule::Nak(CommandKind::Erase, 2));
    EXPECT_EQ(Talk(p, Cat({SwitchFrame(), EraseFrame(6), EraseFrame(7), EraseFrame(8)})),
              (Bytes{0x06, 0x15, 0x06}));
    EXPECT_EQ(p.ErasedSectors(), (std::vector<int>{6, 8}));
    EXPECT_EQ(p.ReadFlash(0x30000, 1), Bytes{0x00}) << "a NAKed erase erased";
}

TEST_F(SimFaultsTest, SilentCommandsHaveNoEffect) {
    SimPrinter p;
    p.AddFault(FaultRule::Silent(CommandKind::LineCheck, 0));
    p.AddFault(FaultRule::Silent(CommandKind::Select, 1));
    EXPECT_EQ(Talk(p, Cat({SwitchFrame(), LineFrame(), LineFrame(), SelectFrame(9),
                           IdentityFrame()})).size(),
              15u);
    EXPECT_EQ(p.SelectedSector(), 0);
    p.AddFault(FaultRule::Silent(CommandKind::Reset, 1));
    Talk(p, ResetFrame());
    EXPECT_EQ(p.Mode(), SimMode::Download);
}

TEST_F(SimFaultsTest, GarbledAnswersStillExecute) {
    SimPrinter p;
    p.AddFault(FaultRule::WrongByte(CommandKind::Data, 1));
    p.AddFault(FaultRule::AckOnly(CommandKind::LineCheck, 1));
    p.AddFault(FaultRule::WrongIdentity("Mobile Printes"));
    EXPECT_EQ(Talk(p, Cat({SwitchFrame(), LineFrame()})), Bytes{0x06});
    EXPECT_EQ(Talk(p, LineFrame()), (Bytes{0x06, 0x00})) << "only the first line check";
    const Bytes id = Talk(p, IdentityFrame());
    EXPECT_EQ(std::string(id.begin() + 1, id.end()), "Mobile Printes");
    EXPECT_EQ(Talk(p, Cat({SelectFrame(2), DataFrame({'a', 'b', 'c'})})), (Bytes{0x06, 0x41}));
    EXPECT_EQ(p.ReadFlash(0x4000, 3), (Bytes{'a', 'b', 'c'}));
}

TEST_F(SimFaultsTest, WrongChecksumChangesTheValueByTheMask) {
    SimPrinter p;
    p.AddFault(FaultRule::WrongChecksum(1));
    FaultRule highOnly = FaultRule::WrongChecksum(2, 0x0100);
    p.AddFault(highOnly);
    FaultRule crc = FaultRule::WrongChecksum(1, 0x0001);
    crc.kind = CommandKind::RecalculateCrc;
    p.AddFault(crc);
    Talk(p, Cat({SwitchFrame(), SelectFrame(2), DataFrame({'a', 'b', 'c'})}));
    EXPECT_EQ(Talk(p, ChecksumFrame()), (Bytes{0x06, 0x38 ^ 0xFF, 0x97 ^ 0xFF}));
    EXPECT_EQ(Talk(p, ChecksumFrame()), (Bytes{0x06, 0x38, 0x97 ^ 0x01}));
    EXPECT_EQ(Talk(p, ChecksumFrame()), (Bytes{0x06, 0x38, 0x97}));
    const Bytes wrong = Talk(p, RecalcFrame());
    const Bytes right = Talk(p, RecalcFrame());
    ASSERT_EQ(wrong.size(), 3u);
    EXPECT_EQ(wrong[1] ^ right[1], 0x01);
    EXPECT_EQ(wrong[2], right[2]);
}

TEST_F(SimFaultsTest, SlowAnswersAreHeldBackInOrder) {
    SimConfig c;
    c.answerDelayMs = 100;
    SimPrinter p(c);
    p.AddFault(FaultRule::Delay(CommandKind::Erase, 1, 5000));
    Talk(p, SwitchFrame());
    p.Receive(Cat({EraseFrame(6), LineFrame()}));
    EXPECT_EQ(p.OutputAvailable(), 0u);
    EXPECT_EQ(p.PendingOutput(), 3u);
    EXPECT_EQ(p.NextReleaseMs(), clock.NowMs() + 5100);
    clock.Advance(5099);
    EXPECT_EQ(p.OutputAvailable(), 0u) << "the line check overtook the slow erase";
    clock.Advance(1);
    EXPECT_EQ(p.TakeOutput(), (Bytes{0x06, 0x06, 0x00}));
    EXPECT_FALSE(p.NextReleaseMs().has_value());

    // A purge drops what has arrived, never what is still on its way.
    p.Receive(Cat({LineFrame()}));
    clock.Advance(100);
    p.Receive(Cat({EraseFrame(7)}));
    p.PurgeOutput();
    EXPECT_EQ(p.PendingOutput(), 1u);
    clock.Advance(100);
    EXPECT_EQ(p.TakeOutput(), Bytes{0x06});
}

TEST_F(SimFaultsTest, DroppedLineHearsNothingUntilRestored) {
    SimPrinter p;
    p.AddFault(FaultRule::DropLine(CommandKind::Any, 3));
    EXPECT_EQ(Talk(p, Cat({SwitchFrame(), LineFrame(), EraseFrame(6), LineFrame()})),
              (Bytes{0x06, 0x00}));
    EXPECT_TRUE(p.LineDropped());
    EXPECT_EQ(p.LostBytes(), 2u);
    EXPECT_TRUE(Talk(p, LineFrame()).empty());
    EXPECT_TRUE(p.ErasedSectors().empty());
    p.RestoreLine();
    EXPECT_EQ(Talk(p, LineFrame()), (Bytes{0x06, 0x00}));
}

TEST_F(SimFaultsTest, DsrDropsAfterTheChosenCommand) {
    SimPrinter p;
    p.AddFault(FaultRule::DsrLow(CommandKind::Select, 1));
    EXPECT_FALSE(p.DsrLow());
    EXPECT_EQ(Talk(p, Cat({SwitchFrame(), SelectFrame(6)})), Bytes{0x06});
    EXPECT_TRUE(p.DsrLow());
    p.SetDsrLow(false);
    EXPECT_FALSE(p.DsrLow());
}

TEST_F(SimFaultsTest, NakOnFramesWithoutAnswerRefusesSilently) {
    SimPrinter p;
    p.AddFault(FaultRule::Nak(CommandKind::PinCode, 1));
    EXPECT_TRUE(Talk(p, PinFrame("1111")).empty());
    EXPECT_FALSE(p.PinCode().has_value());
    Talk(p, PinFrame("2222"));
    EXPECT_EQ(p.PinCode(), "2222");
}

}  // namespace
}  // namespace rtq::sim
