// The RFCOMM backend over a socket pair standing in for the printer's
// serial channel: connect failures keep the radio's reason, the serial
// calls map onto the stream, and a printer that hangs up ends every call
// with an error instead of a hang or a signal.

#include <gtest/gtest.h>

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "engine/failure_hint.h"
#include "engine/result_codes.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "ports/bluetooth_address.h"
#include "ports/linux/link_router_backend.h"
#include "ports/linux/rfcomm_backend.h"
#include "ports/linux/rfcomm_syscalls.h"
#include "tests/support/fake_serial_backend.h"

namespace rtq {
namespace {

// The program's end of a socket pair as the RFCOMM socket; the test holds
// the printer's end.
class PairSyscalls : public RfcommSyscalls {
public:
    ~PairSyscalls() override {
        if (printer >= 0) close(printer);
    }
    int Socket() override {
        int sv[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sv) != 0) return -1;
        if (printer >= 0) close(printer);
        printer = sv[1];
        program = sv[0];
        return sv[0];
    }
    int Connect(int, const sockaddr* addr, socklen_t len) override {
        EXPECT_EQ(len, sizeof(sockaddr_rc));
        std::memcpy(&target, addr, sizeof target);
        if (refusals > 0) {
            --refusals;
            errno = ECONNREFUSED;
            return -1;
        }
        if (connectErr == 0) return 0;
        errno = inProgress ? EINPROGRESS : connectErr;
        return -1;
    }
    int PendingError(int fd) override {
        return inProgress ? connectErr : RfcommSyscalls::PendingError(fd);
    }
    int Close(int fd) override {
        closed.push_back(fd);
        return DeviceSyscalls::Close(fd);
    }
    // A signal arrives during an armed call: a poll after waiting
    // interruptedWaitMs of its time, send and recv before they do anything.
    int Poll(pollfd* fds, nfds_t n, int timeoutMs) override {
        waits.push_back(timeoutMs);
        if (pollInterrupts == 0) return DeviceSyscalls::Poll(fds, n, timeoutMs);
        --pollInterrupts;
        SleepMs(std::min(timeoutMs, interruptedWaitMs));
        errno = EINTR;
        return -1;
    }
    ssize_t Send(int fd, const void* buf, size_t n) override {
        return Interrupted(sendInterrupts) ? -1 : RfcommSyscalls::Send(fd, buf, n);
    }
    ssize_t Recv(int fd, void* buf, size_t n, int flags) override {
        return Interrupted(recvInterrupts) ? -1 : RfcommSyscalls::Recv(fd, buf, n, flags);
    }
    int SerialPortChannel(const std::array<uint8_t, 6>& address, int64_t endMs,
                          uint8_t* channel) override {
        lookups.push_back(address);
        lookupEndMs = endMs;
        if (Interrupted(lookupInterrupts)) return EINTR;
        if (lookupErr == 0) *channel = servedChannel;
        return lookupErr;
    }

    int connectErr = 0;
    int refusals = 0;  // connects refused before connectErr applies
    bool inProgress = false;  // connect reports EINPROGRESS, its error comes later
    int printer = -1;
    int program = -1;
    sockaddr_rc target{};
    std::vector<int> closed;
    int pollInterrupts = 0;
    int sendInterrupts = 0;
    int recvInterrupts = 0;
    int interruptedWaitMs = 0;
    std::vector<int> waits;  // the time-out of each poll
    // The printer's service directory.
    uint8_t servedChannel = 1;
    int lookupErr = 0;
    int lookupInterrupts = 0;
    std::vector<std::array<uint8_t, 6>> lookups;
    int64_t lookupEndMs = 0;

private:
    static bool Interrupted(int& armed) {
        if (armed == 0) return false;
        --armed;
        errno = EINTR;
        return true;
    }
};

constexpr char kPrinter[] = "00:AA:01:01:00:01";

class RfcommBackendTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (h != INVALID_HANDLE_VALUE) backend.Close(h);
    }
    void OpenPort(const std::string& name = kPrinter) {
        h = backend.Open(name);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << LastErrorText();
        DCB d;
        d.BaudRate = 38400;
        d.fOutxDsrFlow = 1;  // a stream has no DSR: it must count as high
        d.fDtrControl = DTR_CONTROL_ENABLE;
        ASSERT_TRUE(backend.SetState(h, d)) << LastErrorText();
        COMMTIMEOUTS t;
        t.ReadIntervalTimeout = MAXDWORD;
        t.ReadTotalTimeoutConstant = 100;
        t.WriteTotalTimeoutConstant = 200;
        ASSERT_TRUE(backend.SetTimeouts(h, t));
    }
    std::string PrinterReads() {
        char buf[256];
        const ssize_t n = recv(sys.printer, buf, sizeof buf, MSG_DONTWAIT);
        return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    }

    PairSyscalls sys;
    RfcommBackend backend{sys};
    HANDLE h = INVALID_HANDLE_VALUE;
};

TEST_F(RfcommBackendTest, ConnectFailuresKeepTheirReasonAndCloseTheSocket) {
    VirtualClock clock;
    ScopedClock scopedClock{clock};
    for (bool later : {false, true}) {
        for (int err : {EHOSTDOWN, ECONNREFUSED, EACCES, EBUSY}) {
            sys.connectErr = err;
            sys.inProgress = later;
            sys.closed.clear();
            clock.ResetSlept();
            EXPECT_EQ(backend.Open(kPrinter), INVALID_HANDLE_VALUE);
            const LastError e = LastErrorDetails();
            EXPECT_EQ(e.number, err) << e.text;
            EXPECT_EQ(e.path, kPrinter);
            // A refusing channel is asked again after a pause, each time
            // on a socket of its own.
            const size_t attempts =
                err == ECONNREFUSED ? RfcommBackend::kRefusedAttempts : 1;
            EXPECT_EQ(sys.closed.size(), attempts);
            EXPECT_EQ(sys.closed.back(), sys.program);
            EXPECT_EQ(clock.SleptMs(),
                      static_cast<int64_t>(attempts - 1) * RfcommBackend::kRefusedPauseMs);
        }
    }
    // Refused once, then listening: the run gets its link.
    sys.connectErr = 0;
    sys.inProgress = false;
    sys.refusals = 1;
    OpenPort();
    backend.Close(h);
    h = INVALID_HANDLE_VALUE;
    // Not an address: nothing is opened.
    sys.connectErr = 0;
    EXPECT_EQ(backend.Open("COM3"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastErrorDetails().number, EINVAL);
}

TEST_F(RfcommBackendTest, ChannelFromTheServiceDirectoryUnlessNamed) {
    sys.servedChannel = 7;
    sys.lookupInterrupts = 1;  // a signal during the first lookup
    const int64_t start = SteadyMs();
    OpenPort();
    ASSERT_EQ(sys.lookups.size(), 2u);
    EXPECT_EQ(BluetoothAddressText(sys.lookups[0]), kPrinter);
    EXPECT_EQ(sys.target.rc_channel, 7);
    // The lookup and the connect share one bound.
    EXPECT_GE(sys.lookupEndMs, start + RfcommBackend::kConnectTimeoutMs);
    EXPECT_LE(sys.lookupEndMs, SteadyMs() + RfcommBackend::kConnectTimeoutMs);
    backend.Close(h);

    // A named channel is connected as it is.
    sys.lookups.clear();
    OpenPort(std::string(kPrinter) + "/2");
    EXPECT_TRUE(sys.lookups.empty());
    EXPECT_EQ(sys.target.rc_channel, 2);
    backend.Close(h);
    h = INVALID_HANDLE_VALUE;

    // No serial port service, or the directory out of reach: no socket is
    // made and the cause picks the hint.
    for (int err : {EPROTONOSUPPORT, EHOSTDOWN}) {
        sys.lookupErr = err;
        sys.program = -1;
        EXPECT_EQ(backend.Open(kPrinter), INVALID_HANDLE_VALUE);
        const LastError e = LastErrorDetails();
        EXPECT_EQ(e.number, err);
        EXPECT_EQ(e.path, kPrinter);
        EXPECT_EQ(sys.program, -1);
        const std::string hint = FailureHint(kResultPortOpenFailed, e);
        EXPECT_NE(hint.find(err == EHOSTDOWN ? "out of reach" : "no serial port service"),
                  std::string::npos)
            << hint;
    }
}

TEST_F(RfcommBackendTest, SerialCallsMapOntoTheStream) {
    OpenPort("00:aa:01:01:00:01/3");
    // The kernel's address order is reversed; the channel is the one named.
    const uint8_t want[6] = {0x01, 0x00, 0x01, 0x01, 0xAA, 0x00};
    EXPECT_EQ(std::memcmp(sys.target.rc_bdaddr.b, want, 6), 0);
    EXPECT_EQ(sys.target.rc_channel, 3);
    EXPECT_EQ(sys.target.rc_family, AF_BLUETOOTH);

    DCB d;
    ASSERT_TRUE(backend.GetState(h, &d));
    EXPECT_EQ(d.BaudRate, 38400u);
    d.ByteSize = 9;
    EXPECT_FALSE(backend.SetState(h, d));

    // DSR pacing never holds output back.
    const std::string frame = "\x1b\x40 header";
    size_t written = 0;
    ASSERT_TRUE(backend.Write(h, reinterpret_cast<const uint8_t*>(frame.data()), frame.size(),
                              &written));
    EXPECT_EQ(written, frame.size());
    EXPECT_EQ(PrinterReads(), frame);

    // A silent printer: the read returns nothing after its constant.
    uint8_t buf[16];
    size_t got = 99;
    const int64_t start = SteadyMs();
    ASSERT_TRUE(backend.Read(h, buf, sizeof buf, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_GE(SteadyMs() - start, 90);

    ASSERT_EQ(send(sys.printer, "ACK", 3, 0), 3);
    ASSERT_TRUE(backend.Read(h, buf, sizeof buf, &got));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), "ACK");

    // Purge drains what is there without waiting.
    ASSERT_EQ(send(sys.printer, "stale", 5, 0), 5);
    ASSERT_TRUE(backend.PurgeInput(h));
    ASSERT_TRUE(backend.Read(h, buf, sizeof buf, &got));
    EXPECT_EQ(got, 0u);
}

TEST_F(RfcommBackendTest, FullLinkEndsTheWriteAfterItsTimeOut) {
    OpenPort();
    std::vector<uint8_t> big(4 << 20, 0x55);
    size_t written = 0;
    const int64_t start = SteadyMs();
    ASSERT_TRUE(backend.Write(h, big.data(), big.size(), &written));
    EXPECT_LT(written, big.size());
    EXPECT_GE(SteadyMs() - start, 190);
    EXPECT_LT(SteadyMs() - start, 2000);
}

TEST_F(RfcommBackendTest, InterruptedCallsAreMadeAgainAndAWaitKeepsItsDeadline) {
    OpenPort();
    sys.sendInterrupts = 1;
    const std::string frame = "\x1b\x40";
    size_t written = 0;
    ASSERT_TRUE(backend.Write(h, reinterpret_cast<const uint8_t*>(frame.data()), frame.size(),
                              &written))
        << LastErrorText();
    EXPECT_EQ(written, frame.size());
    EXPECT_EQ(PrinterReads(), frame);

    ASSERT_EQ(send(sys.printer, "ACK", 3, 0), 3);
    sys.recvInterrupts = 1;
    uint8_t buf[16];
    size_t got = 0;
    ASSERT_TRUE(backend.Read(h, buf, sizeof buf, &got)) << LastErrorText();
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), "ACK");
    ASSERT_EQ(send(sys.printer, "stale", 5, 0), 5);
    sys.recvInterrupts = 1;
    ASSERT_TRUE(backend.PurgeInput(h)) << LastErrorText();
    EXPECT_EQ(sys.sendInterrupts + sys.recvInterrupts, 0);

    // A signal 80 ms into the read's 100 ms wait: the wait goes on for what
    // is left, not for the whole constant again.
    sys.pollInterrupts = 1;
    sys.interruptedWaitMs = 80;
    sys.waits.clear();
    ASSERT_TRUE(backend.Read(h, buf, sizeof buf, &got)) << LastErrorText();
    EXPECT_EQ(got, 0u);
    ASSERT_GE(sys.waits.size(), 2u);
    EXPECT_LE(sys.waits[1], 20);
}

TEST_F(RfcommBackendTest, PrinterHangingUpFailsEveryCall) {
    OpenPort();
    ASSERT_EQ(send(sys.printer, "OK", 2, 0), 2);
    close(sys.printer);
    sys.printer = -1;
    // What arrived before the hang-up is still delivered.
    uint8_t buf[16];
    size_t got = 0;
    ASSERT_TRUE(backend.Read(h, buf, sizeof buf, &got));
    EXPECT_EQ(got, 2u);
    const int64_t start = SteadyMs();
    EXPECT_FALSE(backend.Read(h, buf, sizeof buf, &got));
    EXPECT_EQ(LastErrorDetails().number, ECONNRESET);
    EXPECT_LT(SteadyMs() - start, 50);  // not the read constant
    EXPECT_FALSE(backend.PurgeInput(h));
    // No SIGPIPE: the write fails and the test goes on.
    size_t written = 0;
    const uint8_t byte = 0x06;
    EXPECT_FALSE(backend.Write(h, &byte, 1, &written));
    EXPECT_EQ(LastErrorDetails().number, EPIPE);
}

TEST(LinkRouterBackend, AddressesGoToRfcommOtherNamesToTheTty) {
    PairSyscalls sys;
    RfcommBackend rfcomm(sys);
    test::FakeSerialBackend tty;
    LinkRouterBackend router(tty, rfcomm);

    const HANDLE bt = router.Open(kPrinter);
    ASSERT_NE(bt, INVALID_HANDLE_VALUE) << LastErrorText();
    EXPECT_TRUE(rfcomm.Issued(bt));
    EXPECT_TRUE(tty.Calls().empty());
    size_t written = 0;
    const uint8_t byte = 0x31;
    ASSERT_TRUE(router.Write(bt, &byte, 1, &written));
    EXPECT_TRUE(tty.Calls().empty());
    EXPECT_TRUE(router.Reserve(kPrinter));

    const HANDLE com = router.Open("/dev/rfcomm0");
    ASSERT_NE(com, INVALID_HANDLE_VALUE);
    EXPECT_EQ(tty.LastOpenedName(), "/dev/rfcomm0");
    EXPECT_FALSE(rfcomm.Issued(com));
    router.Close(bt);
    EXPECT_FALSE(rfcomm.Issued(bt));
    router.Close(com);
}

TEST(BluetoothTarget, AddressWithOptionalChannel) {
    BluetoothTarget t;
    ASSERT_TRUE(ParseBluetoothTarget("00:aa:01:01:00:Fe", &t));
    EXPECT_EQ(t.channel, kLookUpChannel);
    EXPECT_EQ(BluetoothAddressText(t.address), "00:AA:01:01:00:FE");
    ASSERT_TRUE(ParseBluetoothTarget("00:AA:01:01:00:01/30", &t));
    EXPECT_EQ(t.channel, 30);
    for (const char* bad : {"", "COM1", "/dev/rfcomm0", "00:AA:01:01:00", "00-AA-01-01-00-01",
                            "00:AA:01:01:00:0G", "00:AA:01:01:00:01/", "00:AA:01:01:00:01/0",
                            "00:AA:01:01:00:01/31", "00:AA:01:01:00:01/01",
                            "00:AA:01:01:00:01/3x", "00:AA:01:01:00:01 "})
        EXPECT_FALSE(IsBluetoothTarget(bad)) << bad;
}

}  // namespace
}  // namespace rtq
