// rtqflash-cli against rtqsim over a real pseudo-terminal, in real time.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/engine/temp_files.h"

namespace {

using namespace std::chrono_literals;

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A child process with its output in a file.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& outPath,
          const std::string& errPath) {
        m_pid = fork();
        if (m_pid == 0) {
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || err < 0) _exit(126);
            dup2(out, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
    }
    ~Child() {
        if (m_pid > 0 && !m_reaped) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return m_pid > 0; }
    // The exit status, or -1 when it has not ended within the time.
    int Wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_reaped = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(50ms);
        }
        return -1;
    }

private:
    pid_t m_pid = -1;
    bool m_reaped = false;
};

TEST(CliSystem, FlashesAFontToTheSimulatedPrinterOverAPseudoTerminal) {
    const char* binDir = std::getenv("RTQ_TEST_BINARY_DIR");
    if (!binDir) GTEST_SKIP() << "RTQ_TEST_BINARY_DIR is not set";
    const std::string sim = std::string(binDir) + "/sim/rtqsim";
    const std::string cli = std::string(binDir) + "/cli/rtqflash-cli";
    ASSERT_TRUE(Exists(sim)) << sim;
    ASSERT_TRUE(Exists(cli)) << cli;

    rtq::test::TempFolder dir;
    const std::string link = dir.Path() + "/printer";
    const std::string flashOut = dir.Path() + "/flash.img";
    const std::vector<uint8_t> font = rtq::test::FontImage(65536);
    const std::string fontPath = dir.Write("font.bin", font);

    Child printer({sim, "--link", link, "--flash-out", flashOut, "--exit-after-reset"},
                  dir.Path() + "/sim.out", dir.Path() + "/sim.err");
    ASSERT_TRUE(printer.Started());
    for (int i = 0; i < 200 && !Exists(link); ++i) std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(Exists(link)) << ReadText(dir.Path() + "/sim.err");

    Child run({cli, "flash", "--port", link, "--type", "CG FONT", fontPath},
              dir.Path() + "/cli.out", dir.Path() + "/cli.err");
    ASSERT_TRUE(run.Started());
    const int status = run.Wait(90s);
    const std::string out = ReadText(dir.Path() + "/cli.out");
    const std::string err = ReadText(dir.Path() + "/cli.err");
    EXPECT_EQ(status, 0) << out << err;
    EXPECT_EQ(out.substr(out.rfind('\n', out.size() - 2) + 1),
              "result 1: Download successfully completed!\n")
        << out;
    EXPECT_NE(err.find("Downloading data to flash sector 1 of 1...\n"), std::string::npos) << err;

    // The printer exits after the reset that ends the download, leaving its
    // flash image behind.
    EXPECT_EQ(printer.Wait(20s), 0) << ReadText(dir.Path() + "/sim.err");
    const std::string image = ReadText(flashOut);
    ASSERT_GE(image.size(), 0x100000u + font.size());
    EXPECT_TRUE(std::equal(font.begin(), font.end(),
                           reinterpret_cast<const uint8_t*>(image.data()) + 0x100000));
    // Nothing else was written.
    for (size_t i = 0; i < image.size(); ++i) {
        if (i < 0x100000 || i >= 0x100000 + font.size()) {
            ASSERT_EQ(static_cast<uint8_t>(image[i]), 0xFF) << i;
        }
    }
}

}  // namespace
