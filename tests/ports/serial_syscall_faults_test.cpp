// The Linux serial backend over a real pseudo-terminal, with its system
// calls failing as hardware makes them fail: interrupted calls are
// repeated, short and refused writes still deliver every byte in order, a
// pulled-out adapter fails the call at once, and a DSR line that stays low
// ends a write after its time-out.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "ports/linux/linux_serial_backend.h"
#include "ports/linux/serial_syscalls.h"

namespace rtq {
namespace {

enum Call { kOpen, kRead, kWrite, kPoll, kIoctl, kGetAttr, kSetAttr, kFlush, kDrain, kFlock, kCalls };

// Forwards to the real calls, failing those it was told to.
class FaultySyscalls : public SerialSyscalls {
public:
    // The next `times` calls of `call` fail with err.
    void FailNext(Call call, int err, int times = 1) {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_faults[call] = {err, times};
    }
    // Faults set but not yet met.
    int Pending() {
        std::lock_guard<std::mutex> lk(m_mutex);
        int n = 0;
        for (const auto& [call, fault] : m_faults) n += fault.times;
        return n;
    }

    size_t maxWrite = SIZE_MAX;  // longest piece one write call takes
    int eagainEvery = 0;         // every n-th write call finds no room
    bool dsrLow = false;         // the modem lines read without DSR
    int writeCalls = 0;

    int Open(const char* path, int flags) override {
        return Fault(kOpen) ? -1 : SerialSyscalls::Open(path, flags);
    }
    ssize_t Read(int fd, void* buf, size_t n) override {
        return Fault(kRead) ? -1 : SerialSyscalls::Read(fd, buf, n);
    }
    ssize_t Write(int fd, const void* buf, size_t n) override {
        if (Fault(kWrite)) return -1;
        ++writeCalls;
        if (eagainEvery > 0 && writeCalls % eagainEvery == 0) {
            errno = EAGAIN;
            return -1;
        }
        return SerialSyscalls::Write(fd, buf, std::min(n, maxWrite));
    }
    int Poll(pollfd* fds, nfds_t n, int timeoutMs) override {
        return Fault(kPoll) ? -1 : SerialSyscalls::Poll(fds, n, timeoutMs);
    }
    int Ioctl(int fd, unsigned long request, void* arg) override {
        if (Fault(kIoctl)) return -1;
        if (request == TIOCMGET && (dsrLow || modemLines)) {
            *static_cast<int*>(arg) = dsrLow ? TIOCM_CTS : TIOCM_CTS | TIOCM_DSR;
            return 0;
        }
        return SerialSyscalls::Ioctl(fd, request, arg);
    }
    int TcGetAttr(int fd, termios* t) override {
        return Fault(kGetAttr) ? -1 : SerialSyscalls::TcGetAttr(fd, t);
    }
    int TcSetAttr(int fd, int action, const termios* t) override {
        return Fault(kSetAttr) ? -1 : SerialSyscalls::TcSetAttr(fd, action, t);
    }
    int TcFlush(int fd, int queue) override {
        return Fault(kFlush) ? -1 : SerialSyscalls::TcFlush(fd, queue);
    }
    int TcDrain(int fd) override { return Fault(kDrain) ? -1 : SerialSyscalls::TcDrain(fd); }
    int Flock(int fd, int operation) override {
        return Fault(kFlock) ? -1 : SerialSyscalls::Flock(fd, operation);
    }

    bool modemLines = false;  // pretend the device has modem lines

private:
    struct Fault_ {
        int err = 0;
        int times = 0;
    };
    bool Fault(Call call) {
        std::lock_guard<std::mutex> lk(m_mutex);
        auto it = m_faults.find(call);
        if (it == m_faults.end() || it->second.times == 0) return false;
        --it->second.times;
        errno = it->second.err;
        return true;
    }
    std::mutex m_mutex;
    std::map<Call, Fault_> m_faults;
};

class SyscallFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(setenv("RTQFLASH_LOCK_DIR", lockDir.c_str(), 1), 0);
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        slave = ptsname(master);
    }
    void TearDown() override {
        if (h != INVALID_HANDLE_VALUE) backend.Close(h);
        close(master);
        unsetenv("RTQFLASH_LOCK_DIR");
    }

    void OpenPort(bool dsrFlow = true) {
        h = backend.Open(slave);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << LastErrorText();
        DCB d;
        d.BaudRate = 38400;
        d.ByteSize = 8;
        d.Parity = NOPARITY;
        d.StopBits = ONESTOPBIT;
        d.fOutxDsrFlow = dsrFlow ? 1 : 0;
        ASSERT_TRUE(backend.SetState(h, d)) << LastErrorText();
        COMMTIMEOUTS t;
        t.ReadIntervalTimeout = MAXDWORD;
        t.ReadTotalTimeoutMultiplier = MAXDWORD;
        t.ReadTotalTimeoutConstant = 500;
        t.WriteTotalTimeoutConstant = 3000;
        ASSERT_TRUE(backend.SetTimeouts(h, t));
    }

    std::vector<uint8_t> Receive(size_t n) {
        std::vector<uint8_t> got;
        while (got.size() < n) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0) break;
            uint8_t buf[4096];
            const ssize_t r = read(master, buf, sizeof buf);
            if (r <= 0) break;
            got.insert(got.end(), buf, buf + r);
        }
        return got;
    }

    static std::vector<uint8_t> Pattern(size_t n) {
        std::vector<uint8_t> v(n);
        for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 31 + 7);
        return v;
    }

    std::string lockDir = ::testing::TempDir();
    FaultySyscalls sys;
    LinuxSerialBackend backend{sys};
    int master = -1;
    std::string slave;
    HANDLE h = INVALID_HANDLE_VALUE;
};

TEST_F(SyscallFaults, AnInterruptedCallIsRepeatedWhereverItHappens) {
    for (Call c : {kOpen, kRead, kWrite, kPoll, kIoctl, kGetAttr, kSetAttr, kFlush, kDrain, kFlock})
        sys.FailNext(c, EINTR, 2);
    OpenPort();
    const std::vector<uint8_t> out = Pattern(1000);
    size_t written = 0;
    ASSERT_TRUE(backend.Write(h, out.data(), out.size(), &written)) << LastErrorText();
    EXPECT_EQ(written, out.size());
    EXPECT_EQ(Receive(out.size()), out);

    const uint8_t in[] = {0x06, 0x15, 0x00};
    ASSERT_EQ(write(master, in, sizeof in), ssize_t(sizeof in));
    uint8_t buf[8];
    size_t got = 0;
    ASSERT_TRUE(backend.Read(h, buf, sizeof buf, &got)) << LastErrorText();
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + got), std::vector<uint8_t>(in, in + sizeof in));
    EXPECT_TRUE(backend.PurgeInput(h));
    // Every kind of call met its interruptions and went on.
    EXPECT_EQ(sys.Pending(), 0);
}

TEST_F(SyscallFaults, ShortAndRefusedWritesStillDeliverEveryByteInOrder) {
    OpenPort();
    sys.maxWrite = 7;
    sys.eagainEvery = 3;
    const std::vector<uint8_t> out = Pattern(1500);
    size_t written = 0;
    ASSERT_TRUE(backend.Write(h, out.data(), out.size(), &written)) << LastErrorText();
    EXPECT_EQ(written, out.size());
    EXPECT_EQ(Receive(out.size()), out);
}

TEST_F(SyscallFaults, AnAdapterPulledOutFailsEachCallAtOnce) {
    OpenPort();
    const std::vector<uint8_t> out = Pattern(600);
    size_t written = 0;
    const int64_t start = SystemClock().NowMs();

    sys.FailNext(kWrite, EIO);
    EXPECT_FALSE(backend.Write(h, out.data(), out.size(), &written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(LastErrorDetails().number, EIO);

    // The piece was written, but the line went before it drained.
    sys.FailNext(kDrain, EIO);
    EXPECT_FALSE(backend.Write(h, out.data(), out.size(), &written));
    EXPECT_EQ(written, LinuxSerialBackend::kChunkBytes);

    // Modem lines that cannot be read any more.
    sys.modemLines = true;
    sys.FailNext(kIoctl, ENXIO);
    EXPECT_FALSE(backend.Write(h, out.data(), out.size(), &written));
    EXPECT_EQ(LastErrorDetails().number, ENXIO);

    const uint8_t byte = 0x06;
    ASSERT_EQ(write(master, &byte, 1), 1);
    sys.FailNext(kRead, ENXIO);
    uint8_t buf[4];
    size_t got = 0;
    EXPECT_FALSE(backend.Read(h, buf, sizeof buf, &got));
    EXPECT_EQ(LastErrorDetails().number, ENXIO);
    EXPECT_LT(SystemClock().NowMs() - start, 1000);

    // Gone for good until it is back: the open fails, then works again,
    // and the failed open left no lock behind.
    backend.Close(h);
    h = INVALID_HANDLE_VALUE;
    sys.FailNext(kOpen, ENXIO);
    EXPECT_EQ(backend.Open(slave), INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastErrorDetails().number, ENXIO);
    OpenPort();
}

TEST_F(SyscallFaults, ADsrLineThatStaysLowEndsTheWriteAfterItsTimeOut) {
    VirtualClock clock;
    ScopedClock useClock(clock);
    OpenPort();
    sys.modemLines = true;
    sys.dsrLow = true;
    const std::vector<uint8_t> out = Pattern(300);
    size_t written = 1;
    const int64_t before = clock.NowMs();
    EXPECT_TRUE(backend.Write(h, out.data(), out.size(), &written));
    EXPECT_EQ(written, 0u);
    const int64_t waited = clock.NowMs() - before;
    EXPECT_GE(waited, 3000);
    EXPECT_LE(waited, 3000 + LinuxSerialBackend::kDsrPollMs);
    EXPECT_EQ(sys.writeCalls, 0);

    // Raised again, the same write goes through.
    sys.dsrLow = false;
    ASSERT_TRUE(backend.Write(h, out.data(), out.size(), &written));
    EXPECT_EQ(written, out.size());
    EXPECT_EQ(Receive(out.size()), out);
}

}  // namespace
}  // namespace rtq
