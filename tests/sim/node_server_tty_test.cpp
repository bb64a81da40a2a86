#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>
#include <thread>

#include "sim/sim_printer.h"
#include "sim/node_server.h"
#include "sim/tty_device.h"
#include "tests/sim/frames.h"
#include "tests/sim/rtqsim_process.h"
#include "tests/sim/stand_in_node.h"

namespace rtq::sim::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint32_t kSector2 = 0x4000;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WaitForText(const std::string& path, const std::string& text, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        if (ReadFile(path) == text) return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

int64_t ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

// Runs a server on its own thread, stopped through a pipe as rtqsim's
// signals stop it; keeps its notes for the assertions.
class Serving {
public:
    Serving(const std::string& path, NodeServer::Options o) {
        EXPECT_EQ(pipe(m_stop), 0);
        o.note = [this](const std::string& text) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_notes += text + "\n";
        };
        m_server = std::make_unique<NodeServer>(std::make_unique<TtyNode>(path), std::move(o));
    }
    ~Serving() {
        Stop();
        close(m_stop[0]);
        close(m_stop[1]);
    }
    NodeServer::Outcome Open() { return m_server->Open(m_stop[0], &m_openError); }
    void Start() {
        m_result = std::async(std::launch::async, [this] {
            std::string why;
            const bool ok = m_server->Serve(printer, m_stop[0], &why);
            return std::make_pair(ok, why);
        });
    }
    // Waits up to timeoutMs for Serve to return by itself.
    bool Ended(int timeoutMs) {
        return m_result.valid() &&
               m_result.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
    }
    std::pair<bool, std::string> Stop() {
        if (!m_result.valid()) return {false, "not serving"};
        EXPECT_EQ(write(m_stop[1], "s", 1), 1);
        EXPECT_TRUE(Ended(3000)) << "the stop did not end serving";
        return m_result.get();
    }
    std::pair<bool, std::string> Result() { return m_result.get(); }
    std::string Notes() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_notes;
    }
    const std::string& OpenError() const { return m_openError; }

    SimPrinter printer;

private:
    int m_stop[2] = {-1, -1};
    std::unique_ptr<NodeServer> m_server;
    std::future<std::pair<bool, std::string>> m_result;
    std::mutex m_mutex;
    std::string m_notes;
    std::string m_openError;
};

// What a terminal device is left in by a login or an earlier user: line
// editing, echo, CR to LF, XON/XOFF.
void MakeCooked(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    t.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    t.c_iflag |= ICRNL | IXON;
    t.c_oflag |= OPOST | ONLCR;
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
    close(fd);
}

TEST(NodeServerOnTty, ServesBinaryFramesUntouchedOnADeviceLeftInCookedMode) {
    StandInNode node;
    ASSERT_TRUE(node.Ok());
    MakeCooked(node.Path());
    TempDir tmp;
    NodeServer::Options o;
    o.flashOut = tmp.Path("flash.bin");
    o.exitAfterReset = true;
    Serving s(node.Path(), o);
    ASSERT_EQ(s.Open(), NodeServer::Outcome::Ok) << s.OpenError();
    s.Start();

    // Bytes a cooked line would edit, echo, translate or swallow.
    Bytes data = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x04, 0x1A, 0x7F, 0x15, 0x0D, 0x00, 0xFF};
    const Bytes tail = Pattern(500, 3);
    data.insert(data.end(), tail.begin(), tail.end());
    ASSERT_TRUE(WriteBytes(node.Host(),
                           Cat({SwitchFrame(), EraseFrame(2), SelectFrame(2), DataFrame(data)})));
    // The switch has no answer; erase, select and data one ACK each.
    EXPECT_EQ(ReadBytes(node.Host(), 3, 3000), (Bytes{0x06, 0x06, 0x06}));
    EXPECT_EQ(ReadBytes(node.Host(), 1, 200), Bytes{}) << "echo or more than the three ACKs";
    ASSERT_TRUE(WriteBytes(node.Host(), ResetFrame()));
    ASSERT_TRUE(s.Ended(3000)) << "a download reset must end serving here";
    EXPECT_TRUE(s.Result().first);
    EXPECT_EQ(s.printer.ReadFlash(kSector2, data.size()), data);
    const std::string saved = ReadFile(o.flashOut);
    ASSERT_GT(saved.size(), kSector2 + data.size()) << "flash image not saved at the reset";
    EXPECT_EQ(Bytes(saved.begin() + kSector2, saved.begin() + kSector2 + data.size()), data);
}

TEST(NodeServerOnTty, HangUpIsFollowedByQuietReopensUntilTheDeviceIsBack) {
    TempDir tmp;
    const std::string link = tmp.Path("ttyGS0");
    auto first = std::make_unique<StandInNode>();
    ASSERT_TRUE(first->Ok());
    fs::create_symlink(first->Path(), link);
    Serving s(link, {});
    ASSERT_EQ(s.Open(), NodeServer::Outcome::Ok) << s.OpenError();
    s.Start();
    ASSERT_TRUE(WriteBytes(first->Host(), Cat({SwitchFrame(), LineFrame()})));
    ASSERT_EQ(ReadBytes(first->Host(), 2, 3000), (Bytes{0x06, 0x00}));

    // The link first, so that no reopen can reach whatever pty gets the
    // number next; then the line hangs up.
    fs::remove(link);
    fs::create_symlink(tmp.Path("gone"), link);
    first.reset();
    const int64_t cpuBefore = ProcessCpuMs();
    std::this_thread::sleep_for(1500ms);
    EXPECT_LE(ProcessCpuMs() - cpuBefore, 100) << "busy while the device is gone";
    EXPECT_FALSE(s.Ended(0)) << s.Notes();
    EXPECT_NE(s.Notes().find("hung up"), std::string::npos) << s.Notes();

    StandInNode second;
    ASSERT_TRUE(second.Ok());
    fs::remove(link);
    fs::create_symlink(second.Path(), link);
    // The printer keeps its state: still in download mode.
    ASSERT_TRUE(WriteBytes(second.Host(), LineFrame()));
    EXPECT_EQ(ReadBytes(second.Host(), 2, 5000), (Bytes{0x06, 0x00})) << s.Notes();
    const auto [ok, why] = s.Stop();
    EXPECT_TRUE(ok) << why;
}

TEST(NodeServerOnTty, DeviceThatDoesNotComeBackEndsServingWithAReason) {
    StandInNode node;
    ASSERT_TRUE(node.Ok());
    NodeServer::Options o;
    o.openWaitMs = 300;
    Serving s(node.Path(), o);
    ASSERT_EQ(s.Open(), NodeServer::Outcome::Ok) << s.OpenError();
    s.Start();
    node.Close();
    ASSERT_TRUE(s.Ended(5000)) << "still waiting for a device that is gone";
    const auto [ok, why] = s.Result();
    EXPECT_FALSE(ok);
    EXPECT_NE(why.find("did not come back"), std::string::npos) << why;
}

TEST(NodeServerOnTty, UnplugFaultPullsTheAdapterMidFrameAndTheFrameGoesOnAfterThePlug) {
    StandInNode node;
    ASSERT_TRUE(node.Ok());
    TempDir tmp;
    const std::string udc = tmp.Path("UDC");
    std::ofstream(udc) << "dummy_udc.0\n";
    NodeServer::Options o;
    o.gadgetDir = tmp.Path("");
    UnplugRule rule;
    rule.nth = 1;
    rule.awayMs = 400;
    o.unplug = {rule};
    Serving s(node.Path(), o);
    ASSERT_EQ(s.Open(), NodeServer::Outcome::Ok) << s.OpenError();
    s.Start();

    const Bytes data = Pattern(2000, 8);
    const Bytes frame = DataFrame(data);
    const size_t sent = frame.size() - 800;
    ASSERT_TRUE(WriteBytes(node.Host(), Cat({SwitchFrame(), EraseFrame(2), SelectFrame(2),
                                             Bytes(frame.begin(), frame.begin() + sent)})));
    ASSERT_TRUE(WaitForText(udc, "\n", 3000)) << "not unplugged: " << s.Notes();
    const auto away = Clock::now();
    EXPECT_EQ(ReadBytes(node.Host(), 2, 2000), (Bytes{0x06, 0x06}))
        << "answers before the cut must reach the host";
    EXPECT_EQ(node.Unread(), 0) << "the cut falls after what was read";
    ASSERT_TRUE(WaitForText(udc, "dummy_udc.0\n", 3000)) << "not plugged back: " << s.Notes();
    EXPECT_GE(Clock::now() - away, 300ms);

    ASSERT_TRUE(WriteBytes(node.Host(), Bytes(frame.begin() + sent, frame.end())));
    EXPECT_EQ(ReadBytes(node.Host(), 1, 3000), Bytes{0x06}) << s.Notes();
    EXPECT_EQ(s.printer.ReadFlash(kSector2, data.size()), data);
    EXPECT_NE(s.Notes().find("unplugged (unplug fault data:1:400ms, "), std::string::npos)
        << s.Notes();
    const auto [ok, why] = s.Stop();
    EXPECT_TRUE(ok) << why;
}

}  // namespace
}  // namespace rtq::sim::test
