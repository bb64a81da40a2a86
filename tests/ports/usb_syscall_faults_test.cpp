// The Linux USB backend with its system calls failing as the device makes
// them fail: a call a signal interrupted is made again and the caller sees
// nothing of it; a printer that went away (ENODEV) fails the call at once,
// with its cause, and a write reports the unplug case.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/lp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/last_error.h"
#include "ports/linux/linux_usb_backend.h"
#include "ports/linux/usb_syscalls.h"

namespace rtq {
namespace {

enum Call { kOpen, kRead, kWrite, kPoll, kIoctl, kGetFlags, kSetFlags };

// Forwards to the real calls, failing those it was told to; the printer
// requests succeed on the socket standing in for the node.
class FaultyUsbSyscalls : public UsbSyscalls {
public:
    // Every call of the kinds in `calls` fails once with err before it goes
    // through (EINTR), or each time (any other error).
    void Fail(std::initializer_list<Call> calls, int err) {
        std::lock_guard<std::mutex> lk(m_mutex);
        for (Call c : calls) m_faults[c] = err;
        m_sticky = err != EINTR;
    }
    int Failed(Call c) {
        std::lock_guard<std::mutex> lk(m_mutex);
        return m_failed[c];
    }

    int Open(const char* path, int flags) override {
        return Fault(kOpen) ? -1 : UsbSyscalls::Open(path, flags);
    }
    ssize_t Read(int fd, void* buf, size_t n) override {
        return Fault(kRead) ? -1 : UsbSyscalls::Read(fd, buf, n);
    }
    ssize_t Write(int fd, const void* buf, size_t n) override {
        return Fault(kWrite) ? -1 : UsbSyscalls::Write(fd, buf, n);
    }
    int Poll(pollfd* fds, nfds_t n, int timeoutMs) override {
        return Fault(kPoll) ? -1 : UsbSyscalls::Poll(fds, n, timeoutMs);
    }
    int Ioctl(int, unsigned long, void*) override { return Fault(kIoctl) ? -1 : 0; }
    int GetFlags(int fd) override { return Fault(kGetFlags) ? -1 : UsbSyscalls::GetFlags(fd); }
    int SetFlags(int fd, int flags) override {
        return Fault(kSetFlags) ? -1 : UsbSyscalls::SetFlags(fd, flags);
    }

private:
    bool Fault(Call c) {
        std::lock_guard<std::mutex> lk(m_mutex);
        auto it = m_faults.find(c);
        if (it == m_faults.end()) return false;
        errno = it->second;
        ++m_failed[c];
        if (!m_sticky) m_faults.erase(it);
        return true;
    }
    std::mutex m_mutex;
    std::map<Call, int> m_faults;
    std::map<Call, int> m_failed;
    bool m_sticky = false;
};

// A socket pair standing in for the node, the backend's end adopted; and
// a file that opens as a node does.
struct Node {
    explicit Node(LinuxUsbBackend& backend) {
        EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
        h = backend.Adopt(sv[0]);
        const int fd = mkstemp(path.data());
        EXPECT_GE(fd, 0);
        close(fd);
    }
    ~Node() {
        close(sv[1]);
        unlink(path.c_str());
    }
    int sv[2] = {-1, -1};
    HANDLE h = INVALID_HANDLE_VALUE;
    std::string path = "/tmp/rtq-usb-faults-XXXXXX";
};

TEST(UsbSyscallFaults, InterruptedCallsAreMadeAgainAndTheCallerSeesNothing) {
    FaultyUsbSyscalls sys;
    LinuxUsbBackend backend(5000, sys);
    sys.Fail({kGetFlags, kSetFlags}, EINTR);
    Node node(backend);
    const HANDLE h = node.h;
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << LastErrorText();
    sys.Fail({kOpen}, EINTR);
    const HANDLE opened = backend.Open(node.path);
    EXPECT_NE(opened, INVALID_HANDLE_VALUE) << LastErrorText();
    backend.Close(opened);

    sys.Fail({kIoctl}, EINTR);
    EXPECT_TRUE(backend.GetDeviceId(h));
    sys.Fail({kIoctl}, EINTR);
    EXPECT_TRUE(backend.GetPortStatus(h));

    const uint8_t frame[] = {0x1D, 0x01, 0x00, 0x42};
    size_t written = 0;
    sys.Fail({kGetFlags, kSetFlags, kWrite}, EINTR);
    EXPECT_EQ(backend.Write(h, frame, sizeof frame, &written), UsbWriteStatus::Ok);
    EXPECT_EQ(written, sizeof frame);
    uint8_t got[8] = {};
    ASSERT_EQ(read(node.sv[1], got, sizeof got), static_cast<ssize_t>(sizeof frame));
    EXPECT_EQ(std::memcmp(got, frame, sizeof frame), 0);
    // The write left the descriptor non-blocking, as the other calls expect.
    EXPECT_TRUE(fcntl(node.sv[0], F_GETFL) & O_NONBLOCK);

    const uint8_t answer[] = {0x06, 0x00};
    ASSERT_EQ(write(node.sv[1], answer, sizeof answer), 2);
    sys.Fail({kPoll, kRead}, EINTR);
    EXPECT_TRUE(backend.WaitReadable(h, 5000));
    size_t n = 0;
    ASSERT_TRUE(backend.Read(h, got, sizeof got, &n)) << LastErrorText();
    EXPECT_EQ(n, 2u);
    for (Call c : {kOpen, kRead, kWrite, kPoll, kIoctl, kGetFlags, kSetFlags})
        EXPECT_GE(sys.Failed(c), 1) << "call " << c << " was never interrupted";
    backend.Close(h);
}

TEST(UsbSyscallFaults, APrinterThatWentAwayFailsEachCallAtOnceWithItsCause) {
    FaultyUsbSyscalls sys;
    LinuxUsbBackend backend(5000, sys);
    Node node(backend);
    const HANDLE h = node.h;
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << LastErrorText();
    sys.Fail({kOpen, kRead, kWrite, kPoll, kIoctl}, ENODEV);

    EXPECT_EQ(backend.Open(node.path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastErrorDetails().number, ENODEV);
    EXPECT_EQ(LastErrorDetails().path, node.path);

    SetLastErrorText("");
    EXPECT_FALSE(backend.GetDeviceId(h));
    EXPECT_EQ(LastErrorText(), ErrnoText(ENODEV));
    EXPECT_FALSE(backend.GetPortStatus(h));

    const uint8_t frame[] = {0x1D, 0x01};
    size_t written = 1;
    EXPECT_EQ(backend.Write(h, frame, sizeof frame, &written), UsbWriteStatus::InvalidHandle);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(LastErrorDetails().number, ENODEV);

    // A wait that fails says "readable", so that the read reports it.
    EXPECT_TRUE(backend.WaitReadable(h, 5000));
    uint8_t got[4];
    size_t n = 9;
    SetLastErrorText("");
    EXPECT_FALSE(backend.Read(h, got, sizeof got, &n));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(LastErrorDetails().number, ENODEV);
    EXPECT_EQ(sys.Failed(kRead), 1);  // failed once, not tried again
    backend.Close(h);
}

}  // namespace
}  // namespace rtq
