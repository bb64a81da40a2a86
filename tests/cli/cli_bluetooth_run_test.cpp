// rtqflash-cli flash --bluetooth --port ADDRESS through the RFCOMM backend,
// with the socket calls pointed at rtqsim serving its stream socket: the
// whole engine over a connected stream, reconnects included, in real time.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "cli/cli_app.h"
#include "platform/clock.h"
#include "ports/linux/rfcomm_backend.h"
#include "ports/serial_backend.h"
#include "tests/engine/temp_files.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every RFCOMM connect reaches the Unix socket at path instead.
class UnixStandIn : public rtq::RfcommSyscalls {
public:
    explicit UnixStandIn(std::string path) : m_path(std::move(path)) {}
    int Socket() override { return socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0); }
    int Connect(int fd, const sockaddr*, socklen_t) override {
        ++connects;
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, m_path.c_str(), sizeof addr.sun_path - 1);
        return connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }
    // The stand-in serves its one stream whatever the channel.
    int SerialPortChannel(const std::array<uint8_t, 6>&, int64_t, uint8_t* channel) override {
        *channel = 1;
        return 0;
    }
    std::atomic<int> connects{0};

private:
    const std::string m_path;
};

class CliBluetoothRun : public ::testing::Test {
protected:
    void SetUp() override {
        const char* binDir = std::getenv("RTQ_TEST_BINARY_DIR");
        if (!binDir) GTEST_SKIP() << "RTQ_TEST_BINARY_DIR is not set";
        const std::string sim = std::string(binDir) + "/sim/rtqsim";
        const std::string err = dir.Path() + "/sim.err";
        const char* argv[] = {sim.c_str(), "--stream-socket", socketPath.c_str(), "--flash-out",
                              flashOut.c_str(), "--exit-after-reset", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_EQ(posix_spawn(&printer, sim.c_str(), &actions, nullptr,
                              const_cast<char**>(argv), environ),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        struct stat st {};
        for (int i = 0; i < 200 && stat(socketPath.c_str(), &st) != 0; ++i)
            std::this_thread::sleep_for(20ms);
        ASSERT_EQ(stat(socketPath.c_str(), &st), 0) << ReadText(err);
        rtq::SetSerialBackend(&backend);
    }
    void TearDown() override {
        rtq::SetSerialBackend(nullptr);
        if (printer > 0) {
            kill(printer, SIGKILL);
            waitpid(printer, nullptr, 0);
        }
    }
    int Flash(const std::vector<std::string>& args, std::string* out, std::string* err) {
        std::ostringstream o, e;
        const int status = rtq::cli::RunCli(args, o, e, false);
        *out = o.str();
        *err = e.str();
        return status;
    }

    rtq::test::TempFolder dir;
    const std::string socketPath = dir.Path() + "/printer.sock";
    const std::string flashOut = dir.Path() + "/flash.img";
    UnixStandIn sys{socketPath};
    rtq::RfcommBackend backend{sys};
    pid_t printer = -1;
};

TEST_F(CliBluetoothRun, FontByAddressReachesTheFlash) {
    const std::vector<uint8_t> font = rtq::test::FontImage(65536);
    const std::string fontPath = dir.Write("font.bin", font);
    std::string out, err;
    const int64_t start = rtq::SteadyMs();
    const int status = Flash({"flash", "--bluetooth", "--port", "00:AA:01:01:00:01", "--type",
                              "CG FONT", fontPath},
                             &out, &err);
    EXPECT_EQ(status, 0) << out << err;
    EXPECT_NE(out.find("result 1: Download successfully completed!"), std::string::npos) << out;
    EXPECT_GE(sys.connects.load(), 1);
    std::cout << "Bluetooth CG FONT run over the stream: " << (rtq::SteadyMs() - start)
              << " ms, " << sys.connects.load() << " connect(s)\n";

    int exitStatus = -1;
    ASSERT_EQ(waitpid(printer, &exitStatus, 0), printer);
    printer = -1;
    EXPECT_TRUE(WIFEXITED(exitStatus) && WEXITSTATUS(exitStatus) == 0);
    const std::string image = ReadText(flashOut);
    ASSERT_GE(image.size(), 0x100000u + font.size());
    EXPECT_TRUE(std::equal(font.begin(), font.end(),
                           reinterpret_cast<const uint8_t*>(image.data()) + 0x100000));
}

// The printer's server closing mid-run ends the run with its code, soon.
TEST_F(CliBluetoothRun, PrinterGoneMidRunEndsTheRun) {
    const std::string fontPath = dir.Write("font.bin", rtq::test::FontImage(65536));
    std::thread gone([this] {
        std::this_thread::sleep_for(3s);
        kill(printer, SIGKILL);
    });
    std::string out, err;
    const int64_t start = rtq::SteadyMs();
    const int status = Flash({"flash", "--bluetooth", "--port", "00:AA:01:01:00:01", "--type",
                              "CG FONT", fontPath},
                             &out, &err);
    const int64_t took = rtq::SteadyMs() - start;
    gone.join();
    EXPECT_NE(status, 0) << out << err;
    EXPECT_LT(took, 60000) << out << err;
    EXPECT_NE(out.find("result 10"), std::string::npos) << out;
    std::cout << "printer gone at 3 s: run ended after " << took << " ms: " << out << err;
}

}  // namespace
