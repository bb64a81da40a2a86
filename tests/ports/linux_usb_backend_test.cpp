// The Linux USB backend over one end of a socket pair standing in for the
// printer node (real time, so waits are kept short).

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <numeric>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "ports/linux/linux_usb_backend.h"

namespace rtq {
namespace {

// The backend's end of a socket pair, with a small send buffer so that
// writes soon wait for the peer.
struct Link {
    explicit Link(LinuxUsbBackend& b) : backend(b) {
        int sv[2] = {-1, -1};
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return;
        const int size = 16384;
        setsockopt(sv[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        peer = sv[1];
        h = backend.Adopt(sv[0]);
    }
    ~Link() {
        backend.Close(h);
        ClosePeer();
    }
    void ClosePeer() {
        if (peer >= 0) close(peer);
        peer = -1;
    }
    // Reads n bytes at the peer, step at a time with pauseMs between;
    // gives up when nothing comes for two seconds.
    std::vector<uint8_t> Drain(size_t n, size_t step = 65536, int64_t pauseMs = 0) const {
        std::vector<uint8_t> got, buf(step);
        pollfd p{peer, POLLIN, 0};
        while (got.size() < n && poll(&p, 1, 2000) > 0) {
            const ssize_t r = read(peer, buf.data(), std::min(step, n - got.size()));
            if (r <= 0) break;
            got.insert(got.end(), buf.begin(), buf.begin() + r);
            SleepMs(pauseMs);
        }
        return got;
    }

    LinuxUsbBackend& backend;
    int peer = -1;
    HANDLE h = INVALID_HANDLE_VALUE;
};

const std::vector<uint8_t> kData = [] {
    std::vector<uint8_t> d(128 * 1024);
    std::iota(d.begin(), d.end(), uint8_t{0});
    return d;
}();

class LinuxUsb : public ::testing::Test {
protected:
    // A write to a socket whose peer is gone would end the test process; a
    // printer node never raises the signal.
    static void SetUpTestSuite() { signal(SIGPIPE, SIG_IGN); }

    // Writes kData, returning the status and how long it took.
    UsbWriteStatus WriteAll(LinuxUsbBackend& backend, const Link& link,
                            int64_t* tookMs = nullptr) {
        const int64_t start = NowMs();
        const UsbWriteStatus s =
            backend.Write(link.h, kData.data(), kData.size(), &written);
        if (tookMs) *tookMs = NowMs() - start;
        return s;
    }
    size_t written = 0;
};

TEST_F(LinuxUsb, StallBoundCountsFromTheLastProgress) {
    LinuxUsbBackend backend(300);
    {
        // A slow reader needs longer than the bound in all, but never
        // leaves the writer without progress that long.
        Link link(backend);
        std::vector<uint8_t> received;
        std::thread reader([&] { received = link.Drain(kData.size(), 16384, 80); });
        int64_t took = 0;
        EXPECT_EQ(WriteAll(backend, link, &took), UsbWriteStatus::Ok);
        reader.join();
        EXPECT_GT(took, 300);
        EXPECT_EQ(written, kData.size());
        EXPECT_EQ(received, kData);
        EXPECT_EQ(backend.Write(link.h, kData.data(), 0, &written), UsbWriteStatus::Ok);
    }
    {
        // A reader that stops: the chunk fails once the bound is out.
        Link link(backend);
        int64_t took = 0;
        EXPECT_EQ(WriteAll(backend, link, &took), UsbWriteStatus::Error);
        EXPECT_GE(took, 290);
        EXPECT_LT(took, 3000);
        EXPECT_GT(written, 0u);
        EXPECT_NE(LastErrorText().find("timed out"), std::string::npos);
    }
}

TEST_F(LinuxUsb, PeerGoneIsTheUnplugCase) {
    LinuxUsbBackend backend(10000);
    {
        Link link(backend);
        link.ClosePeer();
        EXPECT_EQ(WriteAll(backend, link), UsbWriteStatus::InvalidHandle);
    }
    {
        // Gone while the write waits for room: told at once, not after the
        // stall bound.
        Link link(backend);
        std::thread closer([&] {
            SleepMs(100);
            link.ClosePeer();
        });
        int64_t took = 0;
        EXPECT_EQ(WriteAll(backend, link, &took), UsbWriteStatus::InvalidHandle);
        EXPECT_LT(took, 3000);
        closer.join();
    }
    size_t n = 0;
    EXPECT_EQ(backend.Write(0x1234, kData.data(), 1, &n), UsbWriteStatus::InvalidHandle);
}

TEST_F(LinuxUsb, WaitReadableThenReadWhatIsThere) {
    LinuxUsbBackend backend;
    Link link(backend);
    uint8_t buf[16];
    size_t got = 99;
    const int64_t start = NowMs();
    EXPECT_FALSE(backend.WaitReadable(link.h, 100));
    EXPECT_GE(NowMs() - start, 90);
    EXPECT_TRUE(backend.Read(link.h, buf, sizeof buf, &got));
    EXPECT_EQ(got, 0u);

    const uint8_t answer[] = {0x06, 0x00, 0x15, 0xFF, 0x0A};
    ASSERT_EQ(write(link.peer, answer, sizeof answer), 5);
    EXPECT_TRUE(backend.WaitReadable(link.h, 5000));
    ASSERT_TRUE(backend.Read(link.h, buf, 3, &got));
    ASSERT_EQ(got, 3u);
    ASSERT_TRUE(backend.Read(link.h, buf + 3, sizeof buf - 3, &got));
    ASSERT_EQ(got, 2u);
    EXPECT_EQ(std::memcmp(buf, answer, 5), 0);

    // A hang-up is readable at once and fails the read.
    link.ClosePeer();
    EXPECT_TRUE(backend.WaitReadable(link.h, 5000));
    EXPECT_FALSE(backend.Read(link.h, buf, sizeof buf, &got));
    EXPECT_TRUE(backend.WaitReadable(0x1234, 5000));
    EXPECT_FALSE(backend.Read(0x1234, buf, sizeof buf, &got));
}

TEST_F(LinuxUsb, CloseLetsAWaitingReaderGoAndFreesTheNodeAtOnce) {
    LinuxUsbBackend backend;
    Link link(backend);
    Link other(backend);
    bool readable = false;
    std::thread reader([&] { readable = backend.WaitReadable(link.h, 5000); });
    SleepMs(50);
    backend.Close(link.h);
    // Closed by the time Close returns: the peer sees the end of stream.
    uint8_t b = 0;
    EXPECT_EQ(recv(link.peer, &b, 1, MSG_DONTWAIT), 0);
    reader.join();
    EXPECT_TRUE(readable);

    size_t n = 0;
    EXPECT_EQ(backend.Write(link.h, &b, 1, &n), UsbWriteStatus::InvalidHandle);
    EXPECT_FALSE(backend.GetPortStatus(link.h));
    // Handles it did not issue, or no longer has, are ignored.
    for (HANDLE stray : {link.h, HANDLE{0}, INVALID_HANDLE_VALUE, HANDLE{0x1234}})
        backend.Close(stray);
    EXPECT_EQ(backend.Write(other.h, &b, 1, &n), UsbWriteStatus::Ok);
    EXPECT_EQ(other.Drain(1).size(), 1u);
}

TEST_F(LinuxUsb, RequestsFailWithTheSystemTextOnANonPrinterNode) {
    char path[] = "/tmp/rtq-usb-node-XXXXXX";
    close(mkstemp(path));
    LinuxUsbBackend backend;
    const HANDLE h = backend.Open(path);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << LastErrorText();
    errno = 0;
    EXPECT_FALSE(backend.GetDeviceId(h));
    EXPECT_EQ(errno, ENOTTY);  // kept for the caller's own error text
    EXPECT_EQ(LastErrorText(), std::strerror(ENOTTY));
    SetLastErrorText("");
    EXPECT_FALSE(backend.GetPortStatus(h));
    EXPECT_EQ(LastErrorText(), std::strerror(ENOTTY));
    backend.Close(h);
    unlink(path);
    EXPECT_EQ(backend.Open(path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastErrorText(), std::strerror(ENOENT));
}

}  // namespace
}  // namespace rtq
