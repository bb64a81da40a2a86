#include <gtest/gtest.h>

#include "sim/rtqsim_options.h"

namespace rtq::sim {
namespace {

bool Parse(std::vector<std::string> args, RtqsimOptions* o, std::string* error) {
    return ParseRtqsimArgs(args, o, error);
}

TEST(RtqsimOptions, ProgramOptions) {
    RtqsimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--link", "/tmp/x", "--flash-out", "out.bin", "--flash-in", "in.bin",
                       "--exit-after-reset", "-v", "--fill", "0x00", "--overwrite",
                       "--checksum-from-flash", "--identity", "Mobile Printes",
                       "--line-byte", "7", "--slow-ms", "250", "--ipl-restart-ms", "9000"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.link, "/tmp/x");
    EXPECT_EQ(o.flashOut, "out.bin");
    EXPECT_EQ(o.flashIn, "in.bin");
    EXPECT_TRUE(o.exitAfterReset);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(o.config.fill, 0x00);
    EXPECT_FALSE(o.config.andProgramming);
    EXPECT_TRUE(o.config.checksumFromFlash);
    EXPECT_EQ(o.config.identity, "Mobile Printes");
    EXPECT_EQ(o.config.lineStatus, 7);
    EXPECT_EQ(o.config.answerDelayMs, 250);
    EXPECT_EQ(o.config.iplRestartMs, 9000);
    EXPECT_FALSE(o.help);

    RtqsimOptions defaults;
    ASSERT_TRUE(Parse({}, &defaults, &error));
    EXPECT_TRUE(defaults.config.andProgramming);
    EXPECT_EQ(defaults.config.fill, 0xFF);
    EXPECT_EQ(defaults.config.identity, "Mobile Printer");
    EXPECT_TRUE(defaults.faults.empty());
}

TEST(RtqsimOptions, FaultRules) {
    RtqsimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--nak", "erase:2", "--silent", "line:all", "--wrong-byte", "data:1:0x42",
                       "--ack-only", "line:3+", "--bad-checksum", "4", "--bad-checksum", "crc:1",
                       "--slow", "select:2:1500", "--drop-line", "any:7",
                       "--wrong-identity", "1:Mobile Printes"},
                      &o, &error))
        << error;
    ASSERT_EQ(o.faults.size(), 9u);
    const FaultRule& nak = o.faults[0];
    EXPECT_EQ(nak.kind, CommandKind::Erase);
    EXPECT_EQ(nak.action, FaultAction::Nak);
    EXPECT_TRUE(nak.Matches(CommandKind::Erase, 2, 2));
    EXPECT_FALSE(nak.Matches(CommandKind::Erase, 3, 3));
    EXPECT_TRUE(o.faults[1].Matches(CommandKind::LineCheck, 1000, 1000));
    EXPECT_EQ(o.faults[2].wrongByte, 0x42);
    EXPECT_FALSE(o.faults[3].Matches(CommandKind::LineCheck, 2, 2));
    EXPECT_TRUE(o.faults[3].Matches(CommandKind::LineCheck, 30, 30));
    EXPECT_EQ(o.faults[4].kind, CommandKind::Checksum);
    EXPECT_EQ(o.faults[4].nth, 4);
    EXPECT_EQ(o.faults[5].kind, CommandKind::RecalculateCrc);
    EXPECT_EQ(o.faults[6].delayMs, 1500);
    EXPECT_EQ(o.faults[7].kind, CommandKind::Any);
    EXPECT_EQ(o.faults[8].identity, "Mobile Printes");
    EXPECT_EQ(o.faults[8].kind, CommandKind::Identity);
}

TEST(RtqsimOptions, BadCommandLinesSayWhy) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"--link"},
        {"--nak", "erase"},
        {"--nak", "frob:1"},
        {"--nak", "unknown:1"},
        {"--nak", "erase:0"},
        {"--nak", "erase:-1"},
        {"--nak", "erase:x"},
        {"--nak", "erase:1:2"},
        {"--fill", "256"},
        {"--fill", "0x"},
        {"--line-byte", "-1"},
        {"--slow", "erase:1"},
        {"--slow-ms", "soon"},
        {"--wrong-identity", "Mobile"},
        {"--wrong-byte", "data:1:300"},
        // Accepted once, though they meant nothing.
        {"--wrong-byte", "erase:1:"},
        {"--bad-checksum", "data:1"},
        {"--bad-checksum", "erase:2"},
    };
    for (const auto& args : bad) {
        RtqsimOptions o;
        std::string error;
        EXPECT_FALSE(Parse(args, &o, &error)) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_FALSE(error.empty()) << args[0];
    }
    RtqsimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"-h"}, &o, &error));
    EXPECT_TRUE(o.help);
    EXPECT_NE(RtqsimUsage().find("--flash-out"), std::string::npos);
    ASSERT_TRUE(Parse({"--version"}, &o, &error));
    EXPECT_TRUE(o.version);
    EXPECT_FALSE(o.help);

    // The first bad word is the one named, also among several.
    ASSERT_FALSE(Parse({"--nak", "erase:1", "--fill", "300", "--nak", "frob:1"}, &o, &error));
    EXPECT_NE(error.find("--fill: '300'"), std::string::npos) << error;
    ASSERT_FALSE(Parse({"--exit-after-reset=no"}, &o, &error));
}

TEST(RtqsimOptions, FaultsKeepTheCommandLinesOrderAcrossKinds) {
    // The first rule that matches a command decides, so the order matters.
    RtqsimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--silent", "erase:1", "--nak", "any:all", "--silent", "data:2",
                       "--wrong-identity", "1:X", "--nak", "erase:3"},
                      &o, &error))
        << error;
    ASSERT_EQ(o.faults.size(), 5u);
    EXPECT_EQ(o.faults[0].action, FaultAction::Silent);
    EXPECT_EQ(o.faults[1].kind, CommandKind::Any);
    EXPECT_EQ(o.faults[2].kind, CommandKind::Data);
    EXPECT_EQ(o.faults[3].action, FaultAction::WrongIdentity);
    EXPECT_EQ(o.faults[4].nth, 3);
}

TEST(RtqsimOptions, UsbLink) {
    RtqsimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--usb", "/dev/g_printer0", "--usb-gadget", "/cfg/usb_gadget/rtq",
                       "--restart-ms", "300", "--unplug", "data:2:0.5", "--unplug",
                       "data:4:never"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.usb, "/dev/g_printer0");
    EXPECT_EQ(o.usbGadget, "/cfg/usb_gadget/rtq");
    EXPECT_EQ(o.restartMs, 300);
    ASSERT_EQ(o.unplug.size(), 2u);
    EXPECT_EQ(o.unplug[0].nth, 2);
    EXPECT_EQ(o.unplug[0].awayMs, 500);
    EXPECT_EQ(o.unplug[1].awayMs, UnplugRule::kNever);
    EXPECT_EQ(o.config.iplRestartMs, 300) << "a gadget printer always restarts after sector 5";

    ASSERT_TRUE(Parse({"--usb", "n", "--usb-gadget", "g", "--ipl-restart-ms", "9000"}, &o,
                      &error));
    EXPECT_EQ(o.config.iplRestartMs, 9000);
    EXPECT_EQ(o.restartMs, 2000);
    ASSERT_TRUE(Parse({"--usb", "n"}, &o, &error));
    EXPECT_EQ(o.config.iplRestartMs, 0) << "without a gadget nothing restarts by itself";

    const std::vector<std::vector<std::string>> bad = {
        {"--usb", "n", "--link", "l"},
        {"--usb-gadget", "g"},
        {"--usb", "n", "--unplug", "data:1:2"},
        {"--usb", "n", "--usb-gadget", "g", "--unplug", "data:1"},
        {"--usb", "n", "--usb-gadget", "g", "--restart-ms", "soon"},
        {"--usb"},
    };
    for (const auto& args : bad) {
        RtqsimOptions r;
        error.clear();
        EXPECT_FALSE(Parse(args, &r, &error)) << args[0] << " " << args.back();
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace rtq::sim
