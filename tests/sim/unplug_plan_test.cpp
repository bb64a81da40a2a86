#include <gtest/gtest.h>

#include <limits>

#include "platform/clock.h"
#include "sim/sim_printer.h"
#include "sim/unplug_plan.h"
#include "tests/sim/frames.h"

namespace rtq::sim {
namespace {

using namespace rtq::sim::test;

// Feeds the stream as a transport following the plan would, whose reads
// return at most `transfer` bytes (what the gadget holds at once); returns
// how many bytes the printer had taken when a rule came due (or all).
size_t FeedUntilDue(SimPrinter& p, UnplugPlan& plan, const Bytes& stream, size_t from,
                    std::optional<UnplugRule>* due, size_t transfer = 1024) {
    size_t pos = from;
    while (pos < stream.size()) {
        if ((*due = plan.TakeDue(p))) return pos;
        const size_t budget = plan.Budget(p);
        EXPECT_GE(budget, 1u);
        const size_t n = std::min({budget, transfer, stream.size() - pos});
        p.Receive(stream.data() + pos, n);
        pos += n;
    }
    *due = plan.TakeDue(p);
    return pos;
}

class UnplugPlanTest : public ::testing::Test {
protected:
    rtq::VirtualClock clock;
    rtq::ScopedClock scoped{clock};
};

TEST_F(UnplugPlanTest, DataFrameIsCutInTheMiddleAndGoesOnAfterwards) {
    const Bytes first = Pattern(100, 1);
    const Bytes second = Pattern(3001, 2);
    const Bytes head = Cat({SwitchFrame(), EraseFrame(2), SelectFrame(2), DataFrame(first),
                            EraseFrame(3), SelectFrame(3)});
    const Bytes stream = Cat({head, DataFrame(second), ChecksumFrame()});

    SimPrinter p;
    UnplugPlan plan({UnplugRule{CommandKind::Data, 2, 500}});
    std::optional<UnplugRule> due;
    const size_t cut = FeedUntilDue(p, plan, stream, 0, &due);
    ASSERT_TRUE(due);
    EXPECT_EQ(due->awayMs, 500);
    EXPECT_EQ(cut, head.size() + 6 + 2048) << "header, then whole reads past the half";
    ASSERT_TRUE(p.DataInProgress());
    EXPECT_EQ(p.DataInProgress()->number, 2);
    EXPECT_EQ(p.WrittenSectors(), std::vector<int>{2});
    EXPECT_EQ(plan.Budget(p), std::numeric_limits<size_t>::max()) << "nothing left to wait for";

    // The rest of the bytes complete the cut frame.
    FeedUntilDue(p, plan, stream, cut, &due);
    EXPECT_FALSE(due);
    EXPECT_EQ(p.WrittenSectors(), (std::vector<int>{2, 3}));
    EXPECT_EQ(p.ReadFlash(0x6000, second.size()), second);
    EXPECT_FALSE(p.DataInProgress());
}

TEST_F(UnplugPlanTest, OtherKindsStopRightAfterTheFrameEvenAcrossDataFrames) {
    const Bytes head = Cat({SwitchFrame(), SelectFrame(2), DataFrame(Pattern(5000, 3)),
                            SelectFrame(3)});
    const Bytes stream = Cat({head, LineFrame(), SelectFrame(4)});
    SimPrinter p;
    UnplugPlan plan({UnplugRule{CommandKind::Select, 2, UnplugRule::kNever},
                     UnplugRule{CommandKind::Select, 3, 0}});
    std::optional<UnplugRule> due;
    size_t cut = FeedUntilDue(p, plan, stream, 0, &due);
    ASSERT_TRUE(due);
    EXPECT_EQ(due->awayMs, UnplugRule::kNever);
    EXPECT_EQ(cut, head.size());
    EXPECT_EQ(p.SelectedSector(), 3);

    cut = FeedUntilDue(p, plan, stream, cut, &due);
    ASSERT_TRUE(due);
    EXPECT_EQ(cut, stream.size());
    EXPECT_EQ(p.CommandCount(CommandKind::LineCheck), 1);
}

TEST_F(UnplugPlanTest, TinyDataFrameIsDueRightAfterItsHeader) {
    const Bytes stream = Cat({SwitchFrame(), SelectFrame(2), DataFrame(Bytes{0x42})});
    SimPrinter p;
    UnplugPlan plan({UnplugRule{CommandKind::Data, 1, 0}});
    std::optional<UnplugRule> due;
    EXPECT_EQ(FeedUntilDue(p, plan, stream, 0, &due), stream.size() - 1);
    EXPECT_TRUE(due);
}

TEST(UnplugRule, Parsing) {
    UnplugRule r;
    std::string error;
    ASSERT_TRUE(ParseUnplugRule("data:1:2", &r, &error)) << error;
    EXPECT_EQ(r.kind, CommandKind::Data);
    EXPECT_EQ(r.nth, 1);
    EXPECT_EQ(r.awayMs, 2000);
    ASSERT_TRUE(ParseUnplugRule("data:12:0.5", &r, &error)) << error;
    EXPECT_EQ(r.nth, 12);
    EXPECT_EQ(r.awayMs, 500);
    ASSERT_TRUE(ParseUnplugRule("reset:1:never", &r, &error)) << error;
    EXPECT_EQ(r.kind, CommandKind::Reset);
    EXPECT_EQ(r.awayMs, UnplugRule::kNever);
    EXPECT_EQ(r.Describe(), "reset:1:never");

    for (const char* bad : {"data:1", "data:1:2:3", "data:0:2", "data:-1:2", "data:x:2",
                            "data:1:-1", "data:1:abc", "data:1:", "data:1:1e3", "data:1:.",
                            "data:1:1.2.3", "data:1:86401", "frob:1:2", "any:1:2",
                            "data: 1:2"}) {
        error.clear();
        EXPECT_FALSE(ParseUnplugRule(bad, &r, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
}  // namespace rtq::sim
