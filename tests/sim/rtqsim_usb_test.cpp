#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/sim/frames.h"
#include "tests/sim/rtqsim_process.h"
#include "tests/sim/stand_in_node.h"

namespace rtq::sim::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kController = "dummy_udc.0";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Waits until the file holds exactly `text`; false after timeoutMs.
bool WaitForText(const std::string& path, const std::string& text, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        if (ReadFile(path) == text) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

Bytes FlashAt(const std::string& image, uint32_t addr, size_t len) {
    const std::string flash = ReadFile(image);
    if (flash.size() < addr + len) return {};
    return Bytes(flash.begin() + addr, flash.begin() + addr + len);
}

class RtqsimUsbTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (RtqsimPath().empty()) GTEST_SKIP() << "rtqsim not built";
        ASSERT_TRUE(node.Ok());
        fs::create_directory(gadget);
        std::ofstream(udc) << kController << "\n";
    }
    // Serves the stand-in node, with the gadget folder unless told not to.
    void Launch(std::vector<std::string> args, bool withGadget = true) {
        args.insert(args.begin(), {"--usb", node.Path()});
        if (withGadget) args.insert(args.end(), {"--usb-gadget", gadget});
        ASSERT_TRUE(sim.Start(args, tmp.Path("stderr"))) << Log();
        EXPECT_EQ(sim.FirstLine(), "rtqsim: serving USB printer on " + node.Path());
    }
    std::string Log() const { return ReadFile(tmp.Path("stderr")); }
    bool Send(const Bytes& bytes) { return WriteBytes(node.Host(), bytes); }
    Bytes Answer(size_t n, int timeoutMs = 3000) { return ReadBytes(node.Host(), n, timeoutMs); }

    TempDir tmp;
    StandInNode node;
    std::string gadget = tmp.Path("gadget");
    std::string udc = gadget + "/UDC";
    std::string image = tmp.Path("flash.bin");
    RtqsimProcess sim;
};

TEST_F(RtqsimUsbTest, ServesADownloadWithoutAGadgetAndSavesTheFlash) {
    Launch({"--flash-out", image, "--exit-after-reset"}, false);
    const Bytes data = Pattern(8192, 5);
    ASSERT_TRUE(Send(Cat({SwitchFrame(), LineFrame(), EraseFrame(2), SelectFrame(2),
                          DataFrame(data), ChecksumFrame()})));
    const Bytes answer = Answer(8);
    ASSERT_EQ(answer.size(), 8u) << Log();
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 6),
              (Bytes{0x06, 0x00, 0x06, 0x06, 0x06, 0x06}));
    ASSERT_TRUE(Send(ResetFrame()));
    EXPECT_EQ(sim.WaitExit(5000), 0) << Log();
    EXPECT_EQ(FlashAt(image, 0x4000, data.size()), data);
    EXPECT_EQ(FlashAt(image, 0x6000, 1), Bytes{0xFF});
}

TEST_F(RtqsimUsbTest, ResetUnplugsAfterSavingAndPlugsBackAfterTheRestartTime) {
    Launch({"--flash-out", image, "--restart-ms", "300"});
    const Bytes data = Pattern(4096, 9);
    ASSERT_TRUE(Send(Cat({SwitchFrame(), EraseFrame(2), SelectFrame(2), DataFrame(data)})));
    ASSERT_EQ(Answer(3), (Bytes{0x06, 0x06, 0x06})) << Log();
    ASSERT_TRUE(Send(ResetFrame()));

    ASSERT_TRUE(WaitForText(udc, "\n", 3000)) << "not unplugged: " << ReadFile(udc) << Log();
    const auto away = Clock::now();
    EXPECT_EQ(FlashAt(image, 0x4000, data.size()), data) << "flash not saved before the unplug";
    ASSERT_TRUE(WaitForText(udc, kController + "\n", 3000)) << "not plugged back" << Log();
    EXPECT_GE(Clock::now() - away, std::chrono::milliseconds(200));

    // Back in normal mode on a reopened node.
    ASSERT_TRUE(Send(Cat({SwitchFrame(), LineFrame()})));
    EXPECT_EQ(Answer(2), (Bytes{0x06, 0x00})) << Log();
    EXPECT_EQ(sim.Stop(), 0) << Log();
}

TEST_F(RtqsimUsbTest, IplSectorFiveIsAnsweredThenThePrinterRestartsInDownloadMode) {
    // A slow answer shows the order: the ACK must be out before the unplug.
    Launch({"--restart-ms", "300", "--slow", "data:1:300", "--verbose"});
    ASSERT_TRUE(Send(Cat({SwitchFrame(), SelectFrame(5), DataFrame(Pattern(65536, 1))})));
    ASSERT_TRUE(WaitForText(udc, "\n", 5000)) << Log();
    EXPECT_EQ(Answer(2, 100), (Bytes{0x06, 0x06})) << "the data's ACK must come before the restart";
    ASSERT_TRUE(WaitForText(udc, kController + "\n", 3000)) << Log();
    ASSERT_TRUE(Send(LineFrame()));
    EXPECT_EQ(Answer(2), (Bytes{0x06, 0x00})) << Log();
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_NE(Log().find("unplugged (printer restart) for 300 ms"), std::string::npos) << Log();
}

TEST_F(RtqsimUsbTest, UnplugFaultCutsTheNthDataFrameAndTheFrameGoesOnAfterwards) {
    Launch({"--flash-out", image, "--unplug", "data:2:0.4"});
    const Bytes first = Pattern(2000, 3);
    const Bytes second = Pattern(2000, 4);
    ASSERT_TRUE(Send(Cat({SwitchFrame(), EraseFrame(2), SelectFrame(2), DataFrame(first)})));
    ASSERT_EQ(Answer(3), (Bytes{0x06, 0x06, 0x06})) << Log();
    EXPECT_EQ(ReadFile(udc), kController + "\n") << "unplugged at the wrong frame";

    // The host's transfers so far pass the half of the frame: the printer
    // takes all of them in before it goes, as the gadget would drop what
    // it holds unread.
    const Bytes frame = DataFrame(second);
    const size_t sent = frame.size() - 800;
    ASSERT_TRUE(Send(Cat({EraseFrame(3), SelectFrame(3), Bytes(frame.begin(), frame.begin() + sent)})));
    ASSERT_TRUE(WaitForText(udc, "\n", 3000)) << Log();
    EXPECT_EQ(node.Unread(), 0) << "bytes left in the node at the unplug";
    EXPECT_EQ(Answer(2), (Bytes{0x06, 0x06}));
    ASSERT_TRUE(WaitForText(udc, kController + "\n", 3000)) << Log();
    ASSERT_TRUE(Send(Bytes(frame.begin() + sent, frame.end())));
    EXPECT_EQ(Answer(1), Bytes{0x06}) << "the cut frame did not complete";

    ASSERT_TRUE(Send(ResetFrame()));
    ASSERT_TRUE(WaitForText(udc, "\n", 3000)) << "restart after the reset";
    EXPECT_EQ(sim.Stop(), 0) << Log();
    EXPECT_EQ(FlashAt(image, 0x4000, first.size()), first);
    EXPECT_EQ(FlashAt(image, 0x6000, second.size()), second);
}

TEST_F(RtqsimUsbTest, UnplugNeverStaysAwayQuietlyUntilStopped) {
    Launch({"--flash-out", image, "--unplug", "data:1:never", "--restart-ms", "100"});
    const Bytes frame = DataFrame(Pattern(2000, 6));
    ASSERT_TRUE(Send(Cat({SwitchFrame(), EraseFrame(2), SelectFrame(2),
                          Bytes(frame.begin(), frame.end() - 800)})));
    ASSERT_TRUE(WaitForText(udc, "\n", 3000)) << Log();
    EXPECT_EQ(Answer(3, 500), (Bytes{0x06, 0x06})) << "no answer to the cut frame";
    const long before = sim.CpuTicks();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_LE(sim.CpuTicks() - before, 10) << "busy while away";
    EXPECT_EQ(ReadFile(udc), "\n");
    EXPECT_EQ(sim.Stop(), 0) << Log();
    EXPECT_EQ(FlashAt(image, 0x4000, 1), Bytes{0xFF}) << "flash not saved on stop";
}

TEST_F(RtqsimUsbTest, LostNodeIsReopenedWithoutSpinning) {
    const std::string link = tmp.Path("g_printer0");
    fs::create_symlink(node.Path(), link);
    ASSERT_TRUE(sim.Start({"--usb", link}, tmp.Path("stderr"))) << Log();
    ASSERT_TRUE(Send(Cat({SwitchFrame(), LineFrame()})));
    ASSERT_EQ(Answer(2), (Bytes{0x06, 0x00}));

    node.Close();  // the host side goes away
    const long before = sim.CpuTicks();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_LE(sim.CpuTicks() - before, 10) << "busy while the node is gone";

    StandInNode again;
    ASSERT_TRUE(again.Ok());
    fs::create_symlink(again.Path(), link + ".new");
    fs::rename(link + ".new", link);
    ASSERT_TRUE(WriteBytes(again.Host(), LineFrame()));
    EXPECT_EQ(ReadBytes(again.Host(), 2, 3000), (Bytes{0x06, 0x00})) << Log();
    EXPECT_EQ(sim.Stop(), 0) << Log();
}

TEST(RtqsimUsbCommandLine, RefusesBadCombinationsAndAnUnpluggedGadget) {
    if (RtqsimPath().empty()) GTEST_SKIP() << "rtqsim not built";
    TempDir tmp;
    const std::vector<std::vector<std::string>> usage = {
        {"--usb", "/dev/null", "--link", tmp.Path("tty")},
        {"--usb", "/dev/null", "--usb-gadget", tmp.Path(""), "--unplug", "data:1:soon"},
        {"--usb", "/dev/null", "--usb-gadget", tmp.Path(""), "--unplug", "data:0:2"},
        {"--usb", "/dev/null", "--unplug", "data:1:2"},
    };
    for (const auto& args : usage) {
        RtqsimProcess sim;
        EXPECT_FALSE(sim.Start(args, tmp.Path("err")));
        EXPECT_EQ(sim.WaitExit(5000), 64) << args.back();
    }
    StandInNode node;
    std::ofstream(tmp.Path("UDC")) << "";
    RtqsimProcess sim;
    EXPECT_FALSE(sim.Start({"--usb", node.Path(), "--usb-gadget", tmp.Path("")}, tmp.Path("err")));
    EXPECT_EQ(sim.WaitExit(5000), 1);
    EXPECT_NE(ReadFile(tmp.Path("err")).find("UDC is empty"), std::string::npos)
        << ReadFile(tmp.Path("err"));
}

}  // namespace
}  // namespace rtq::sim::test
