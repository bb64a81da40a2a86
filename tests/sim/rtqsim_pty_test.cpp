#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "ports/linux/linux_serial_backend.h"
#include "tests/sim/frames.h"
#include "tests/sim/rtqsim_process.h"

namespace rtq::sim::test {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class RtqsimPtyTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (RtqsimPath().empty()) GTEST_SKIP() << "rtqsim not built";
    }
    // Starts rtqsim linked as <tmp>/tty with extra arguments.
    void Launch(std::vector<std::string> args = {}) {
        args.insert(args.begin(), {"--link", link});
        ASSERT_TRUE(sim.Start(args, tmp.Path("stderr"))) << ReadFile(tmp.Path("stderr"));
        EXPECT_EQ(sim.FirstLine().rfind("rtqsim: listening on /dev/pts/", 0), 0u)
            << sim.FirstLine();
        EXPECT_NE(sim.FirstLine().find("(linked as " + link + ")"), std::string::npos);
    }

    TempDir tmp;
    std::string link = tmp.Path("tty");
    RtqsimProcess sim;
};

TEST_F(RtqsimPtyTest, AnswersALineCheckAfterTheSwitch) {
    Launch();
    const int fd = OpenRawTerminal(link, B9600);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteBytes(fd, Cat({SwitchFrame(), LineFrame()})));
    const Bytes answer = ReadBytes(fd, 2, 3000);
    ASSERT_EQ(answer.size(), 2u);
    EXPECT_EQ(answer[0], 0x06);
    close(fd);
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "link left behind";
}

TEST_F(RtqsimPtyTest, DownloadIsSavedAfterTheResetAndBinaryDataSurvives) {
    const std::string image = tmp.Path("flash.bin");
    Launch({"--flash-out", image, "--exit-after-reset"});
    const int fd = OpenRawTerminal(link, B38400);
    ASSERT_GE(fd, 0);
    // Bytes a cooked terminal would rewrite or act on.
    Bytes data = Pattern(8192, 0);
    const Bytes special = {0x00, 0x0D, 0x0A, 0x11, 0x13, 0x03, 0x1A, 0x7F, 0xFF, 0x1D};
    std::copy(special.begin(), special.end(), data.begin());
    ASSERT_TRUE(WriteBytes(fd, Cat({SwitchFrame(), EraseFrame(2), SelectFrame(2),
                                    DataFrame(data), Bytes{0x1D, 0x00}})));
    const Bytes answer = ReadBytes(fd, 18, 3000);
    ASSERT_EQ(answer.size(), 18u);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 4), (Bytes{0x06, 0x06, 0x06, 0x06}));
    EXPECT_EQ(std::string(answer.begin() + 4, answer.end()), "Mobile Printer");
    ASSERT_TRUE(WriteBytes(fd, ResetFrame()));
    // The restart leaves the host's port in place until the host closes it.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(tcdrain(fd), 0) << "the line hung up under the host: " << std::strerror(errno);
    close(fd);
    EXPECT_EQ(sim.WaitExit(5000), 0) << ReadFile(tmp.Path("stderr"));

    const std::string flash = ReadFile(image);
    ASSERT_EQ(flash.size(), 0x430000u);
    EXPECT_EQ(Bytes(flash.begin() + 0x4000, flash.begin() + 0x6000), data);
    EXPECT_EQ(static_cast<uint8_t>(flash[0x3FFF]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(flash[0x6000]), 0xFF);
    EXPECT_FALSE(fs::exists(image + ".tmp"));
}

TEST_F(RtqsimPtyTest, FlashIsSavedOnTermination) {
    const std::string image = tmp.Path("flash.bin");
    Launch({"--flash-out", image, "--fill", "0x00"});
    const int fd = OpenRawTerminal(link, B9600);
    ASSERT_TRUE(WriteBytes(fd, Cat({SwitchFrame(), EraseFrame(1), LineFrame()})));
    EXPECT_EQ(ReadBytes(fd, 3, 3000).size(), 3u);
    close(fd);
    EXPECT_EQ(sim.Stop(), 0);
    const std::string flash = ReadFile(image);
    ASSERT_EQ(flash.size(), 0x430000u);
    EXPECT_EQ(static_cast<uint8_t>(flash[0x3FFF]), 0xFF);
    EXPECT_EQ(static_cast<uint8_t>(flash[0x4000]), 0x00);
}

TEST_F(RtqsimPtyTest, KeepsServingAcrossReopensWithoutSpinning) {
    Launch({"--nak", "line:1"});
    int fd = OpenRawTerminal(link, B9600);
    ASSERT_TRUE(WriteBytes(fd, Cat({SwitchFrame(), LineFrame()})));
    EXPECT_EQ(ReadBytes(fd, 1, 3000), Bytes{0x15}) << "fault from the command line";
    close(fd);

    // Nobody has the port open: rtqsim must sleep, not poll in a loop.
    const long before = sim.CpuTicks();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_LE(sim.CpuTicks() - before, 10) << "busy while idle";

    fd = OpenRawTerminal(link, B38400);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteBytes(fd, LineFrame()));
    EXPECT_EQ(ReadBytes(fd, 2, 3000), (Bytes{0x06, 0x00}));
    close(fd);
    EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(RtqsimPtyTest, HostLockStillKeepsOtherOpenersOut) {
    Launch();
    const int first = OpenRawTerminal(link, B9600);
    ASSERT_GE(first, 0);
    ASSERT_EQ(flock(first, LOCK_EX | LOCK_NB), 0) << "rtqsim holds a lock on the slave";
    const int second = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(second, 0);
    EXPECT_NE(flock(second, LOCK_EX | LOCK_NB), 0);
    close(second);
    close(first);
    EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(RtqsimPtyTest, LinuxSerialBackendTalksToIt) {
    Launch();
    rtq::LinuxSerialBackend backend;
    auto lineCheck = [&](HANDLE h, uint32_t baud, bool withSwitch) {
        DCB dcb;
        ASSERT_TRUE(backend.GetState(h, &dcb));
        dcb.BaudRate = baud;
        ASSERT_TRUE(backend.SetState(h, dcb));
        COMMTIMEOUTS t;
        t.ReadIntervalTimeout = MAXDWORD;
        t.ReadTotalTimeoutMultiplier = MAXDWORD;
        t.ReadTotalTimeoutConstant = 1000;
        t.WriteTotalTimeoutMultiplier = 250;
        t.WriteTotalTimeoutConstant = 1000;
        ASSERT_TRUE(backend.SetTimeouts(h, t));
        const Bytes frames = withSwitch ? Cat({SwitchFrame(), LineFrame()}) : LineFrame();
        size_t written = 0;
        ASSERT_TRUE(backend.Write(h, frames.data(), frames.size(), &written));
        EXPECT_EQ(written, frames.size());
        Bytes got;
        for (int i = 0; i < 3 && got.size() < 2; ++i) {
            uint8_t buf[8];
            size_t n = 0;
            ASSERT_TRUE(backend.Read(h, buf, sizeof buf, &n));
            got.insert(got.end(), buf, buf + n);
        }
        EXPECT_EQ(got, (Bytes{0x06, 0x00}));
    };

    const HANDLE h = backend.Open(link);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(backend.Open(link), INVALID_HANDLE_VALUE) << "second open of a port in use";
    lineCheck(h, 9600, true);
    backend.Close(h);
    // The host reopens at 38400 once the printer is in download mode.
    const HANDLE again = backend.Open(link);
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    lineCheck(again, 38400, false);
    backend.Close(again);
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(RtqsimCommandLine, UsageErrorsAndHelp) {
    if (RtqsimPath().empty()) GTEST_SKIP() << "rtqsim not built";
    TempDir tmp;
    {
        RtqsimProcess sim;
        EXPECT_FALSE(sim.Start({"--nak", "frob:1"}, tmp.Path("err")));
        EXPECT_EQ(sim.WaitExit(5000), 64);
        EXPECT_NE(ReadFile(tmp.Path("err")).find("frob"), std::string::npos);
    }
    {
        RtqsimProcess sim;
        EXPECT_TRUE(sim.Start({"--help"}, tmp.Path("err")));
        EXPECT_EQ(sim.FirstLine(), "usage: rtqsim [options]");
        EXPECT_EQ(sim.WaitExit(5000), 0);
    }
    {
        // A link path that is a real file is never replaced.
        const std::string file = tmp.Path("precious");
        std::ofstream(file) << "keep me";
        RtqsimProcess sim;
        EXPECT_FALSE(sim.Start({"--link", file}, tmp.Path("err")));
        EXPECT_EQ(sim.WaitExit(5000), 1);
        EXPECT_EQ(ReadFile(file), "keep me");
    }
}

}  // namespace
}  // namespace rtq::sim::test
