#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "sim/rtqsim_options.h"
#include "tests/sim/frames.h"
#include "tests/sim/rtqsim_process.h"
#include "tests/sim/stand_in_node.h"

namespace rtq::sim::test {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(RtqsimSerialDevice, OptionsTakeTheDeviceAndItsGadgetButNoOtherLink) {
    RtqsimOptions o;
    std::string error;
    ASSERT_TRUE(ParseRtqsimArgs({"--serial-device", "/dev/ttyGS0", "--usb-gadget", "g",
                                 "--unplug", "data:1:never"},
                                &o, &error))
        << error;
    EXPECT_EQ(o.serialDevice, "/dev/ttyGS0");
    EXPECT_EQ(o.usbGadget, "g");
    ASSERT_EQ(o.unplug.size(), 1u);
    EXPECT_EQ(o.config.iplRestartMs, 0)
        << "the gadget is the adapter: the printer behind it does not vanish on a restart";

    for (const std::vector<std::string>& bad : {
             std::vector<std::string>{"--serial-device", "d", "--usb", "n"},
             std::vector<std::string>{"--serial-device", "d", "--link", "l"},
             std::vector<std::string>{"--serial-device", "d", "--unplug", "data:1:2"},
         }) {
        RtqsimOptions r;
        EXPECT_FALSE(ParseRtqsimArgs(bad, &r, &error)) << bad[2];
    }
}

TEST(RtqsimSerialDevice, ServesTheDeviceAndRefusesOneThatIsNoTerminal) {
    if (RtqsimPath().empty()) GTEST_SKIP() << "rtqsim not built";
    StandInNode node;
    ASSERT_TRUE(node.Ok());
    TempDir tmp;
    RtqsimProcess sim;
    ASSERT_TRUE(sim.Start({"--serial-device", node.Path()}, tmp.Path("stderr")))
        << ReadFile(tmp.Path("stderr"));
    EXPECT_EQ(sim.FirstLine(), "rtqsim: serving serial device on " + node.Path());
    ASSERT_TRUE(WriteBytes(node.Host(), Cat({SwitchFrame(), LineFrame()})));
    EXPECT_EQ(ReadBytes(node.Host(), 2, 3000), (Bytes{0x06, 0x00}));
    EXPECT_EQ(sim.Stop(), 0) << ReadFile(tmp.Path("stderr"));

    RtqsimProcess notATerminal;
    EXPECT_FALSE(notATerminal.Start({"--serial-device", "/dev/null"}, tmp.Path("stderr")));
    EXPECT_EQ(notATerminal.WaitExit(3000), 1);
    EXPECT_NE(ReadFile(tmp.Path("stderr")).find("/dev/null: not a terminal device"),
              std::string::npos)
        << ReadFile(tmp.Path("stderr"));
}

}  // namespace
}  // namespace rtq::sim::test
