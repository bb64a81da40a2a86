// rtqflash-cli against rtqsim over a real pseudo-terminal, in real time.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include <dirent.h>

#include <nlohmann/json.hpp>

#include "tests/cli/scoped_env.h"
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
    pid_t Pid() const { return m_pid; }
    // The exit status, or -1 when it has not ended within the time (looked
    // at once at least, also for no time at all).
    int Wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_reaped = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() >= end) return -1;
            std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(limit, 5ms));
        }
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

    const std::string trace = dir.Path() + "/wire.trace";
    Child run({cli, "flash", "--port", link, "--type", "CG FONT", "--trace", trace, fontPath},
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
    // The trace shows the port, its settings and each frame, the data
    // frame's command among them.
    const std::string traced = ReadText(trace);
    for (const char* line : {" open ", " dcb ", "baud=38400", " tx ", " rx ", " 1D 11\n", " close "})
        EXPECT_NE(traced.find(line), std::string::npos) << line << "\n" << traced.substr(0, 2000);

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

// A font file of its own for each printer, so that crossed wires show.
std::vector<uint8_t> FontFor(uint32_t seed) {
    std::vector<uint8_t> font = rtq::test::PatternBytes(65536, seed);
    rtq::test::PutTag(&font, 0, "MB01");
    return font;
}

bool HoldsAt(const std::string& image, size_t offset, const std::vector<uint8_t>& bytes) {
    return image.size() >= offset + bytes.size() &&
           std::equal(bytes.begin(), bytes.end(),
                      reinterpret_cast<const uint8_t*>(image.data()) + offset);
}

TEST(CliSystem, FlashesEveryPrinterThatListFindsAtOnce) {
    const char* binDir = std::getenv("RTQ_TEST_BINARY_DIR");
    if (!binDir) GTEST_SKIP() << "RTQ_TEST_BINARY_DIR is not set";
    const std::string sim = std::string(binDir) + "/sim/rtqsim";
    const std::string cli = std::string(binDir) + "/cli/rtqflash-cli";
    ASSERT_TRUE(Exists(sim)) << sim;
    ASSERT_TRUE(Exists(cli)) << cli;

    // Two printers behind COM17 and COM18 of a bench of its own.
    rtq::test::TempFolder dir;
    const std::string dev = dir.Path() + "/dev";
    const std::string sys = dir.Path() + "/sys";
    ASSERT_EQ(mkdir(dev.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(sys.c_str(), 0755), 0);
    rtq::test::ScopedEnv devRoot("RTQFLASH_DEVICE_ROOT", dev);
    rtq::test::ScopedEnv sysRoot("RTQFLASH_SYSFS_ROOT", sys);
    const auto file = [&](const std::string& name) { return dir.Path() + "/" + name; };

    std::vector<std::unique_ptr<Child>> printers;
    for (int i = 0; i < 2; ++i) {
        const std::string n = std::to_string(i);
        printers.push_back(std::make_unique<Child>(
            std::vector<std::string>{sim, "--link", dev + "/ttyUSB" + n, "--flash-out",
                                     file("flash" + n + ".img"), "--exit-after-reset"},
            file("sim" + n + ".out"), file("sim" + n + ".err")));
        ASSERT_TRUE(printers.back()->Started());
    }
    for (int i = 0; i < 200 && !(Exists(dev + "/ttyUSB0") && Exists(dev + "/ttyUSB1")); ++i)
        std::this_thread::sleep_for(50ms);

    // What list finds is what gets flashed.
    Child list({cli, "list", "--json"}, file("list.out"), file("list.err"));
    ASSERT_EQ(list.Wait(10s), 0) << ReadText(file("list.err"));
    const nlohmann::json found = nlohmann::json::parse(ReadText(file("list.out")), nullptr, false);
    ASSERT_TRUE(found.is_object()) << ReadText(file("list.out"));
    std::vector<std::string> ports;
    for (const nlohmann::json& port : found["serial_ports"])
        if (port["can_open"] == true) ports.push_back(port["port"]);
    ASSERT_EQ(ports, (std::vector<std::string>{"COM17", "COM18"})) << found.dump();

    const std::vector<std::vector<uint8_t>> fonts = {FontFor(31), FontFor(32)};
    std::vector<std::unique_ptr<Child>> runs;
    for (size_t i = 0; i < ports.size(); ++i) {
        const std::string n = std::to_string(i);
        const std::string font = dir.Write("font" + n + ".bin", fonts[i]);
        runs.push_back(std::make_unique<Child>(
            std::vector<std::string>{cli, "flash", "--quiet", "--port", ports[i], "--type",
                                     "font", font},
            file("cli" + n + ".out"), file("cli" + n + ".err")));
        ASSERT_TRUE(runs.back()->Started());
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        const std::string n = std::to_string(i);
        EXPECT_EQ(runs[i]->Wait(90s), 0) << ReadText(file("cli" + n + ".err"));
        EXPECT_EQ(ReadText(file("cli" + n + ".out")),
                  "result 1: Download successfully completed!\n");
    }
    for (size_t i = 0; i < printers.size(); ++i) {
        const std::string n = std::to_string(i);
        EXPECT_EQ(printers[i]->Wait(20s), 0) << ReadText(file("sim" + n + ".err"));
        EXPECT_TRUE(HoldsAt(ReadText(file("flash" + n + ".img")), 0x100000, fonts[i]))
            << "printer " << n;
    }
}

}  // namespace

// While one run holds a port, also in the moment it closes it to reopen it
// at the download speed, another program gets nowhere with it.
TEST(CliSystem, APortStaysReservedForTheWholeRun) {
    const char* binDir = std::getenv("RTQ_TEST_BINARY_DIR");
    if (!binDir) GTEST_SKIP() << "RTQ_TEST_BINARY_DIR is not set";
    const std::string sim = std::string(binDir) + "/sim/rtqsim";
    const std::string cli = std::string(binDir) + "/cli/rtqflash-cli";
    rtq::test::TempFolder dir;
    const rtq::test::ScopedEnv lockDir("RTQFLASH_LOCK_DIR", dir.Path());
    const std::string link = dir.Path() + "/printer";
    const std::string flashOut = dir.Path() + "/flash.img";
    const std::vector<uint8_t> font = FontFor(7);
    const std::string fontPath = dir.Write("font.bin", font);

    Child printer({sim, "--link", link, "--flash-out", flashOut, "--exit-after-reset"},
                  dir.Path() + "/sim.out", dir.Path() + "/sim.err");
    for (int i = 0; i < 200 && !Exists(link); ++i) std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(Exists(link)) << ReadText(dir.Path() + "/sim.err");

    Child run({cli, "flash", "--port", link, "--type", "font", fontPath}, dir.Path() + "/cli.out",
              dir.Path() + "/cli.err");
    // Once the run has the port, another program tries it again and again
    // while the run goes on.
    for (int i = 0; i < 200 && ReadText(dir.Path() + "/cli.err").empty(); ++i)
        std::this_thread::sleep_for(50ms);
    ASSERT_FALSE(ReadText(dir.Path() + "/cli.err").empty());
    int attempts = 0, refused = 0, status = -1;
    while ((status = run.Wait(0ms)) == -1 && attempts < 2000) {
        Child other({cli, "flash", "--quiet", "--port", link, "--type", "pin", "--pin", "1234"},
                    dir.Path() + "/other.out", dir.Path() + "/other.err");
        const int otherStatus = other.Wait(30s);
        ++attempts;
        if (otherStatus == 17) ++refused;
        else
            ADD_FAILURE() << "attempt " << attempts << " exit " << otherStatus << ": "
                          << ReadText(dir.Path() + "/other.out");
        std::this_thread::sleep_for(5ms);
    }
    if (status == -1) status = run.Wait(60s);
    EXPECT_EQ(status, 0) << ReadText(dir.Path() + "/cli.out") << ReadText(dir.Path() + "/cli.err");
    EXPECT_GT(attempts, 20);
    EXPECT_EQ(refused, attempts);
    EXPECT_EQ(printer.Wait(20s), 0);
    EXPECT_TRUE(HoldsAt(ReadText(flashOut), 0x100000, font));
}

// A time sync steps the wall clock an hour back two seconds into a run,
// while the printer is being switched: the run goes on as if nothing had
// happened (the step is played by libfaketime, which leaves the steady
// clock alone).
TEST(CliSystem, AWallClockStepDuringARunChangesNothing) {
    const char* binDir = std::getenv("RTQ_TEST_BINARY_DIR");
    if (!binDir) GTEST_SKIP() << "RTQ_TEST_BINARY_DIR is not set";
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers' runtimes must come first; a preloaded library cannot.
    GTEST_SKIP() << "libfaketime cannot be preloaded into a sanitizer build";
#endif
    const std::string faketime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
    if (!Exists(faketime)) GTEST_SKIP() << "libfaketime is not installed";
    const std::string sim = std::string(binDir) + "/sim/rtqsim";
    const std::string cli = std::string(binDir) + "/cli/rtqflash-cli";
    rtq::test::TempFolder dir;
    const std::string link = dir.Path() + "/printer";
    const std::string flashOut = dir.Path() + "/flash.img";
    const std::vector<uint8_t> font = FontFor(11);
    const std::string fontPath = dir.Write("font.bin", font);
    const std::string offset = dir.Write("offset", std::vector<uint8_t>{'+', '0', '\n'});

    Child printer({sim, "--link", link, "--flash-out", flashOut, "--exit-after-reset"},
                  dir.Path() + "/sim.out", dir.Path() + "/sim.err");
    for (int i = 0; i < 200 && !Exists(link); ++i) std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(Exists(link)) << ReadText(dir.Path() + "/sim.err");

    std::unique_ptr<Child> run;
    {
        const rtq::test::ScopedEnv preload("LD_PRELOAD", faketime);
        const rtq::test::ScopedEnv file("FAKETIME_TIMESTAMP_FILE", offset);
        const rtq::test::ScopedEnv noCache("FAKETIME_NO_CACHE", "1");
        const rtq::test::ScopedEnv steady("FAKETIME_DONT_FAKE_MONOTONIC", "1");
        // A time sync leaves file times as they are.
        const rtq::test::ScopedEnv stat("NO_FAKE_STAT", "1");
        run = std::make_unique<Child>(
            std::vector<std::string>{cli, "flash", "--port", link, "--type", "font", fontPath},
            dir.Path() + "/cli.out", dir.Path() + "/cli.err");
    }
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(2s);
    dir.Write("offset", std::vector<uint8_t>{'-', '3', '6', '0', '0', '\n'});

    // Without the step the run takes about 15 s.
    const int status = run->Wait(60s);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(status, 0) << ReadText(dir.Path() + "/cli.out") << ReadText(dir.Path() + "/cli.err");
    EXPECT_LT(took, 30s);
    EXPECT_EQ(printer.Wait(20s), 0);
    EXPECT_TRUE(HoldsAt(ReadText(flashOut), 0x100000, font));
}

namespace {

// The names in a folder that start with prefix.
std::vector<std::string> FilesStartingWith(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::string(e->d_name).rfind(prefix, 0) == 0) names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// Waits until text is in the file or the time is up.
bool AppearsIn(const std::string& path, const std::string& text, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (ReadText(path).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// A kill or a hang-up while the run offers Cancel cancels it before anything
// is erased; once the flash is being written the run is finished, a second
// signal forcing nothing. Either way the result line comes, the exit status
// is the run's and the port's lock file is gone.
TEST(CliSystem, SigtermAndSighupNeverEndARunHalfWritten) {
    const char* binDir = std::getenv("RTQ_TEST_BINARY_DIR");
    if (!binDir) GTEST_SKIP() << "RTQ_TEST_BINARY_DIR is not set";
    const std::string sim = std::string(binDir) + "/sim/rtqsim";
    const std::string cli = std::string(binDir) + "/cli/rtqflash-cli";
    struct Case {
        int signo;
        const char* after;  // the progress step the signal comes in
        int status;
        const char* result;
    };
    const Case cases[] = {
        {SIGTERM, "Switching printer to download...", 27,
         "result 1027: Application was terminated by Cancel button!\n"},
        {SIGHUP, "Downloading data to flash sector 1 of 1...", 0,
         "result 1: Download successfully completed!\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(strsignal(c.signo));
        rtq::test::TempFolder dir;
        const rtq::test::ScopedEnv lockDir("RTQFLASH_LOCK_DIR", dir.Path());
        const auto file = [&](const std::string& name) { return dir.Path() + "/" + name; };
        const std::string link = file("printer");
        const std::vector<uint8_t> font = FontFor(static_cast<uint32_t>(c.signo));
        const std::string fontPath = dir.Write("font.bin", font);

        Child printer({sim, "--link", link, "--flash-out", file("flash.img"), "--exit-after-reset"},
                      file("sim.out"), file("sim.err"));
        for (int i = 0; i < 200 && !Exists(link); ++i) std::this_thread::sleep_for(50ms);
        ASSERT_TRUE(Exists(link)) << ReadText(file("sim.err"));

        Child run({cli, "flash", "--port", link, "--type", "font", fontPath}, file("cli.out"),
                  file("cli.err"));
        ASSERT_TRUE(AppearsIn(file("cli.err"), c.after, 60s)) << ReadText(file("cli.err"));
        EXPECT_EQ(FilesStartingWith(dir.Path(), "LCK..").size(), 1u);
        const auto signalled = std::chrono::steady_clock::now();
        ASSERT_EQ(kill(run.Pid(), c.signo), 0);
        std::this_thread::sleep_for(200ms);
        kill(run.Pid(), c.signo);
        const int status = run.Wait(90s);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - signalled);
        std::printf("%s during \"%s\": exit %d after %lld ms\n", strsignal(c.signo), c.after,
                    status, static_cast<long long>(took.count()));
        const std::string out = ReadText(file("cli.out"));
        EXPECT_EQ(status, c.status) << out << ReadText(file("cli.err"));
        EXPECT_EQ(out, c.result);
        EXPECT_TRUE(FilesStartingWith(dir.Path(), "LCK..").empty());

        if (c.status == 0) {
            EXPECT_EQ(printer.Wait(20s), 0);
            EXPECT_TRUE(HoldsAt(ReadText(file("flash.img")), 0x100000, font));
        } else {
            // Nothing was erased: the printer's flash is as it was.
            kill(printer.Pid(), SIGTERM);
            EXPECT_NE(printer.Wait(20s), -1);
            const std::string image = ReadText(file("flash.img"));
            ASSERT_FALSE(image.empty());
            EXPECT_EQ(image.find_first_not_of('\xff'), std::string::npos);
        }
    }
}

// The printer (here its pseudo-terminal) vanishing in the middle of the
// data: the failure comes with the cause the system gave.
TEST(CliSystem, APortThatVanishesMidRunIsNamedAsTheCause) {
    const char* binDir = std::getenv("RTQ_TEST_BINARY_DIR");
    if (!binDir) GTEST_SKIP() << "RTQ_TEST_BINARY_DIR is not set";
    const std::string sim = std::string(binDir) + "/sim/rtqsim";
    const std::string cli = std::string(binDir) + "/cli/rtqflash-cli";
    rtq::test::TempFolder dir;
    const rtq::test::ScopedEnv lockDir("RTQFLASH_LOCK_DIR", dir.Path());
    const auto file = [&](const std::string& name) { return dir.Path() + "/" + name; };
    const std::string link = file("printer");
    const std::string fontPath = dir.Write("font.bin", FontFor(5));

    Child printer({sim, "--link", link}, file("sim.out"), file("sim.err"));
    for (int i = 0; i < 200 && !Exists(link); ++i) std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(Exists(link)) << ReadText(file("sim.err"));
    Child run({cli, "flash", "--port", link, "--type", "font", fontPath}, file("cli.out"),
              file("cli.err"));
    ASSERT_TRUE(AppearsIn(file("cli.err"), "Downloading data to flash sector 1 of 1...", 60s))
        << ReadText(file("cli.err"));
    ASSERT_EQ(kill(printer.Pid(), SIGKILL), 0);
    const int status = run.Wait(60s);
    const std::string out = ReadText(file("cli.out"));
    const std::string err = ReadText(file("cli.err"));
    EXPECT_NE(status, 0);
    EXPECT_EQ(out.rfind("result 10", 0), 0u) << out;
    EXPECT_NE(err.find("Input/output error. The adapter or printer went away"), std::string::npos)
        << err;
    EXPECT_TRUE(FilesStartingWith(dir.Path(), "LCK..").empty());
}

}  // namespace
