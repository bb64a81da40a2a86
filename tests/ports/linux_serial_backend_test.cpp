// The Linux serial backend over real pseudo-terminals (real time, so every
// wait here is short).

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "ports/linux/linux_serial_backend.h"

namespace rtq {
namespace {

class Pty {
public:
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        slavePath = ptsname(master);
    }
    ~Pty() { CloseMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    void CloseMaster() {
        if (master >= 0) close(master);
        master = -1;
    }

    void Send(const std::vector<uint8_t>& bytes) const {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }

    // Reads until n bytes have come or nothing came for timeoutMs.
    std::vector<uint8_t> Receive(size_t n, int timeoutMs = 2000) const {
        std::vector<uint8_t> got;
        while (got.size() < n) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0) break;
            uint8_t buf[4096];
            const ssize_t r = read(master, buf, sizeof buf);
            if (r <= 0) break;
            got.insert(got.end(), buf, buf + r);
        }
        return got;
    }

    int master = -1;
    std::string slavePath;
};

DCB LineSettings() {
    DCB d;
    d.BaudRate = 9600;
    d.ByteSize = 8;
    d.Parity = NOPARITY;
    d.StopBits = ONESTOPBIT;
    d.fParity = 1;
    d.fOutxDsrFlow = 1;  // a pty has no DSR and counts as high
    return d;
}

COMMTIMEOUTS Timeouts(uint32_t readMs) {
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = MAXDWORD;
    t.ReadTotalTimeoutConstant = readMs;
    t.WriteTotalTimeoutMultiplier = 250;
    t.WriteTotalTimeoutConstant = 3000;
    return t;
}

class LinuxSerial : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(pty.master, 0);
        ASSERT_FALSE(pty.slavePath.empty());
        h = backend.Open(pty.slavePath);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << LastErrorText();
        ASSERT_TRUE(backend.SetState(h, LineSettings()));
        ASSERT_TRUE(backend.SetTimeouts(h, Timeouts(200)));
    }
    void TearDown() override { backend.Close(h); }

    // Collects n bytes through backend reads.
    std::vector<uint8_t> ReadAll(size_t n) {
        std::vector<uint8_t> got;
        for (int i = 0; i < 50 && got.size() < n; ++i) {
            uint8_t buf[512];
            size_t k = 0;
            if (!backend.Read(h, buf, sizeof buf, &k)) break;
            got.insert(got.end(), buf, buf + k);
        }
        return got;
    }

    Pty pty;
    LinuxSerialBackend backend;
    HANDLE h = INVALID_HANDLE_VALUE;
};

const std::vector<uint8_t> kAwkward = {0x00, 0x0D, 0x0A, 0x11, 0x13, 0xFF, 0x1D,
                                       0x7F, 0x03, 0x04, 0x1A, 0x08, 0x15, 0x06};

TEST_F(LinuxSerial, RawBytesBothWays) {
    size_t written = 0;
    ASSERT_TRUE(backend.Write(h, kAwkward.data(), kAwkward.size(), &written));
    EXPECT_EQ(written, kAwkward.size());
    EXPECT_EQ(pty.Receive(kAwkward.size()), kAwkward);

    pty.Send(kAwkward);
    EXPECT_EQ(ReadAll(kAwkward.size()), kAwkward);
}

TEST_F(LinuxSerial, LongWriteArrivesWholeAndInOrder) {
    std::vector<uint8_t> data(20000);
    std::iota(data.begin(), data.end(), uint8_t{0});
    std::vector<uint8_t> received;
    std::thread reader([&] { received = pty.Receive(data.size()); });
    size_t written = 0;
    EXPECT_TRUE(backend.Write(h, data.data(), data.size(), &written));
    reader.join();
    EXPECT_EQ(written, data.size());
    EXPECT_EQ(received, data);
}

TEST_F(LinuxSerial, ReadReturnsAtOnceWithWaitingBytesElseAfterTheConstant) {
    ASSERT_TRUE(backend.SetTimeouts(h, Timeouts(5000)));
    pty.Send({0x41, 0x42});
    SleepMs(20);
    uint8_t buf[16];
    size_t got = 0;
    int64_t start = NowMs();
    ASSERT_TRUE(backend.Read(h, buf, sizeof buf, &got));
    EXPECT_LT(NowMs() - start, 1000);
    EXPECT_GE(got, 1u);

    ASSERT_TRUE(backend.SetTimeouts(h, Timeouts(200)));
    while (got < 2) {  // the rest, if the first read was short
        size_t more = 0;
        ASSERT_TRUE(backend.Read(h, buf, sizeof buf, &more));
        ASSERT_GT(more, 0u);
        got += more;
    }
    start = NowMs();
    ASSERT_TRUE(backend.Read(h, buf, sizeof buf, &got));
    const int64_t waited = NowMs() - start;
    EXPECT_EQ(got, 0u);
    EXPECT_GE(waited, 190);
    EXPECT_LT(waited, 1500);
}

TEST_F(LinuxSerial, ReadWaitsForTheFirstByte) {
    ASSERT_TRUE(backend.SetTimeouts(h, Timeouts(5000)));
    std::thread sender([&] {
        SleepMs(100);
        pty.Send({0x06});
    });
    uint8_t b = 0;
    size_t got = 0;
    const int64_t start = NowMs();
    EXPECT_TRUE(backend.Read(h, &b, 1, &got));
    sender.join();
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(b, 0x06);
    EXPECT_LT(NowMs() - start, 3000);
}

TEST_F(LinuxSerial, PurgeDiscardsWaitingInput) {
    pty.Send({1, 2, 3, 4});
    SleepMs(50);
    ASSERT_TRUE(backend.PurgeInput(h));
    uint8_t buf[8];
    size_t got = 99;
    ASSERT_TRUE(backend.Read(h, buf, sizeof buf, &got));
    EXPECT_EQ(got, 0u);
    pty.Send({5});
    EXPECT_EQ(ReadAll(1), std::vector<uint8_t>{5});
}

TEST_F(LinuxSerial, HangUpIsAnErrorNotATimeout) {
    pty.CloseMaster();
    uint8_t b = 0;
    size_t got = 0;
    EXPECT_FALSE(backend.Read(h, &b, 1, &got));
    EXPECT_EQ(got, 0u);
}

TEST_F(LinuxSerial, PortInUseIsRefusedAndReopenAfterCloseWorks) {
    SetLastErrorText("");
    EXPECT_EQ(backend.Open(pty.slavePath), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(LastErrorText().empty());

    // Refused by another backend as well (another descriptor, same device).
    LinuxSerialBackend other;
    EXPECT_EQ(other.Open(pty.slavePath), INVALID_HANDLE_VALUE);

    backend.Close(h);
    h = backend.Open(pty.slavePath);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << LastErrorText();
    ASSERT_TRUE(backend.SetState(h, LineSettings()));
    ASSERT_TRUE(backend.SetTimeouts(h, Timeouts(200)));
    pty.Send({0x33});
    EXPECT_EQ(ReadAll(1), std::vector<uint8_t>{0x33});
}

TEST_F(LinuxSerial, ReopenAfterCloseWorksAsOrdinaryUser) {
    // root is never stopped by the exclusive flag; a child process that
    // dropped its rights shows whether the flag was cleared on close.
    if (geteuid() != 0) GTEST_SKIP() << "needs root to switch user";
    backend.Close(h);
    h = INVALID_HANDLE_VALUE;
    ASSERT_EQ(chmod(pty.slavePath.c_str(), 0666), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        LinuxSerialBackend child;
        for (int i = 0; i < 2; ++i) {
            const HANDLE c = child.Open(pty.slavePath);
            if (c == INVALID_HANDLE_VALUE) _exit(1 + i * 3);
            child.Close(c);
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot switch user here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(LinuxSerial, LineSettings) {
    DCB d = LineSettings();
    for (uint32_t baud : {1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u,
                          115200u}) {
        d.BaudRate = baud;
        EXPECT_TRUE(backend.SetState(h, d)) << baud;
        DCB back;
        ASSERT_TRUE(backend.GetState(h, &back));
        EXPECT_EQ(back.BaudRate, baud);
    }
    for (uint8_t parity : {EVENPARITY, ODDPARITY, MARKPARITY, SPACEPARITY}) {
        d.Parity = parity;
        EXPECT_TRUE(backend.SetState(h, d)) << int(parity) << LastErrorText();
    }
    d.StopBits = TWOSTOPBITS;
    EXPECT_TRUE(backend.SetState(h, d));

    for (uint32_t baud : {0u, 14400u, 12345u}) {
        DCB bad = LineSettings();
        bad.BaudRate = baud;
        EXPECT_FALSE(backend.SetState(h, bad)) << baud;
    }
    DCB bad = LineSettings();
    bad.ByteSize = 9;
    EXPECT_FALSE(backend.SetState(h, bad));
    bad = LineSettings();
    bad.Parity = 7;
    EXPECT_FALSE(backend.SetState(h, bad));
    // Still in raw mode after all that.
    ASSERT_TRUE(backend.SetState(h, LineSettings()));
    pty.Send(kAwkward);
    EXPECT_EQ(ReadAll(kAwkward.size()), kAwkward);
}

TEST_F(LinuxSerial, TimeoutsAreKeptPerPort) {
    COMMTIMEOUTS t = Timeouts(1234);
    t.WriteTotalTimeoutConstant = 777;
    ASSERT_TRUE(backend.SetTimeouts(h, t));
    COMMTIMEOUTS back;
    ASSERT_TRUE(backend.GetTimeouts(h, &back));
    EXPECT_EQ(back.ReadTotalTimeoutConstant, 1234u);
    EXPECT_EQ(back.WriteTotalTimeoutConstant, 777u);
}

TEST(LinuxSerialHandles, ForeignHandlesAreIgnored) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    LinuxSerialBackend backend;
    DCB d;
    uint8_t b = 0;
    size_t n = 0;
    for (HANDLE foreign : {HANDLE{0}, INVALID_HANDLE_VALUE, HANDLE{fds[0]},
                           HANDLE{fds[1]}, HANDLE{0x7100}}) {
        backend.Close(foreign);
        EXPECT_FALSE(backend.GetState(foreign, &d));
        EXPECT_FALSE(backend.Write(foreign, &b, 1, &n));
        EXPECT_FALSE(backend.Read(foreign, &b, 1, &n));
        EXPECT_FALSE(backend.PurgeInput(foreign));
    }
    // The descriptors that happened to carry those numbers are untouched.
    EXPECT_NE(fcntl(fds[0], F_GETFD), -1);
    EXPECT_NE(fcntl(fds[1], F_GETFD), -1);
    close(fds[0]);
    close(fds[1]);
}

TEST(LinuxSerialHandles, TokensAreNeverReused) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    LinuxSerialBackend backend;
    const HANDLE first = backend.Open(pty.slavePath);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(first, 0);
    backend.Close(first);
    const HANDLE second = backend.Open(pty.slavePath);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_NE(second, first);
    backend.Close(first);  // stale: must not close the new one
    DCB d;
    EXPECT_TRUE(backend.GetState(second, &d));
    backend.Close(second);
}

TEST(LinuxSerialOpen, MissingDeviceOrNonTerminalIsRefused) {
    LinuxSerialBackend backend;
    SetLastErrorText("");
    EXPECT_EQ(backend.Open("/nonexistent/ttyS0"), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(LastErrorText().empty());

    char path[] = "/tmp/rtq-notatty-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(backend.Open(path), INVALID_HANDLE_VALUE);
    unlink(path);
}

TEST(LinuxSerialOpen, PortNameMapsThroughTheDeviceFolder) {
    Pty pty;
    ASSERT_GE(pty.master, 0);
    char dir[] = "/tmp/rtq-devroot-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/ttyUSB0";
    ASSERT_EQ(symlink(pty.slavePath.c_str(), link.c_str()), 0);
    const char* old = getenv("RTQFLASH_DEVICE_ROOT");
    const std::string saved = old ? old : "";
    setenv("RTQFLASH_DEVICE_ROOT", dir, 1);

    LinuxSerialBackend backend;
    const HANDLE h = backend.Open("\\\\.\\COM17");
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << LastErrorText();
    EXPECT_EQ(backend.Open("\\\\.\\COM18"), INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE) {
        size_t n = 0;
        const uint8_t b = 0x5A;
        EXPECT_TRUE(backend.Write(h, &b, 1, &n));
        EXPECT_EQ(pty.Receive(1), std::vector<uint8_t>{0x5A});
        backend.Close(h);
    }

    if (old)
        setenv("RTQFLASH_DEVICE_ROOT", saved.c_str(), 1);
    else
        unsetenv("RTQFLASH_DEVICE_ROOT");
    unlink(link.c_str());
    rmdir(dir);
}

}  // namespace
}  // namespace rtq
