// The Windows serial backend over a scripted set of system calls: each call
// can fail with the error a test chooses, and the failure reaches the
// last-error record with the system's text and the hint's error class;
// output waits on DSR and gives up after the write time-out.

#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "ports/win32/serial_api.h"
#include "ports/win32/win32_serial_backend.h"

namespace rtq {
namespace {

using win32::CommDcb;
using win32::CommTimeouts;
using win32::SysHandle;

enum Call { kOpen, kGetState, kSetState, kGetTimeouts, kSetTimeouts, kPurge, kRead, kWrite, kDsr, kCalls };

constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorGenFailure = 31;

// A port in memory; no system call is made.
class ScriptedApi : public win32::SerialApi {
public:
    void FailNext(Call call, uint32_t error) { m_fail[call] = error; }

    std::string openedPath;
    int opens = 0;
    int closes = 0;
    CommDcb dcb;
    CommTimeouts timeouts;
    std::vector<uint8_t> sent;
    std::vector<uint32_t> writeSizes;
    std::vector<uint8_t> input;
    uint32_t maxWrite = UINT32_MAX;
    int dsrLowPolls = 0;  // DSR reads low this many times, then high
    int dsrPolls = 0;
    bool purged = false;
    bool reuseHandles = false;  // every open gets the value the last close freed

    SysHandle Open(const char* path) override {
        openedPath = path;
        if (Fault(kOpen)) return win32::InvalidSysHandle();
        ++opens;
        return reinterpret_cast<SysHandle>(intptr_t{0x1230} + 4 * (reuseHandles ? 1 : opens));
    }
    bool GetState(SysHandle, CommDcb* d) override {
        if (Fault(kGetState)) return false;
        *d = dcb;
        return true;
    }
    bool SetState(SysHandle, const CommDcb& d) override {
        if (Fault(kSetState)) return false;
        dcb = d;
        return true;
    }
    bool GetTimeouts(SysHandle, CommTimeouts* t) override {
        if (Fault(kGetTimeouts)) return false;
        *t = timeouts;
        return true;
    }
    bool SetTimeouts(SysHandle, const CommTimeouts& t) override {
        if (Fault(kSetTimeouts)) return false;
        timeouts = t;
        return true;
    }
    bool PurgeInput(SysHandle) override {
        if (Fault(kPurge)) return false;
        purged = true;
        return true;
    }
    bool Read(SysHandle, void* buf, uint32_t len, uint32_t* got) override {
        *got = 0;
        if (Fault(kRead)) return false;
        const uint32_t n = std::min<uint32_t>(len, static_cast<uint32_t>(input.size()));
        std::memcpy(buf, input.data(), n);
        input.erase(input.begin(), input.begin() + n);
        *got = n;
        return true;
    }
    bool Write(SysHandle, const void* data, uint32_t len, uint32_t* written) override {
        *written = 0;
        if (Fault(kWrite)) return false;
        writeSizes.push_back(len);
        const uint32_t n = std::min(len, maxWrite);
        const auto* p = static_cast<const uint8_t*>(data);
        sent.insert(sent.end(), p, p + n);
        *written = n;
        return true;
    }
    bool DsrOn(SysHandle, bool* on) override {
        ++dsrPolls;
        if (Fault(kDsr)) return false;
        *on = dsrPolls > dsrLowPolls;
        return true;
    }
    bool Close(SysHandle) override {
        ++closes;
        return true;
    }
    uint32_t LastError() override { return m_last; }

private:
    bool Fault(Call call) {
        if (m_fail[call] == 0) return false;
        m_last = m_fail[call];
        m_fail[call] = 0;
        return true;
    }
    uint32_t m_fail[kCalls] = {};
    uint32_t m_last = 0;
};

class Win32SerialBackendTest : public ::testing::Test {
protected:
    HANDLE OpenPaced(uint32_t writeConstantMs) {
        const HANDLE h = backend.Open("COM17");
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        DCB dcb;
        dcb.fOutxDsrFlow = 1;
        EXPECT_TRUE(backend.SetState(h, dcb));
        COMMTIMEOUTS t{MAXDWORD, MAXDWORD, 1500, 250, writeConstantMs};
        EXPECT_TRUE(backend.SetTimeouts(h, t));
        return h;
    }

    VirtualClock clock;
    ScopedClock scoped{clock};
    ScriptedApi api;
    Win32SerialBackend backend{api};
};

TEST_F(Win32SerialBackendTest, OpensTheSystemDeviceOfAPortAndHandsTheSettingsThrough) {
    const HANDLE h = backend.Open("COM17");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(api.openedPath, "\\\\.\\COM17");
    EXPECT_NE(backend.Open("\\\\.\\COM3"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(api.openedPath, "\\\\.\\COM3");

    DCB dcb;
    dcb.BaudRate = 38400;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fParity = 1;
    dcb.fOutxDsrFlow = 1;
    ASSERT_TRUE(backend.SetState(h, dcb));
    EXPECT_EQ(api.dcb.BaudRate, 38400u);
    EXPECT_EQ(api.dcb.Parity, EVENPARITY);
    EXPECT_EQ(api.dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(api.dcb.fOutxDsrFlow, 1u);
    EXPECT_EQ(api.dcb.fDtrControl, DTR_CONTROL_ENABLE);
    DCB back;
    ASSERT_TRUE(backend.GetState(h, &back));
    EXPECT_EQ(back.BaudRate, 38400u);
    EXPECT_EQ(back.Parity, EVENPARITY);

    // The read semantics are the system's own: the values go unchanged.
    ASSERT_TRUE(backend.SetTimeouts(h, COMMTIMEOUTS{MAXDWORD, MAXDWORD, 60000, 250, 3000}));
    EXPECT_EQ(api.timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(api.timeouts.ReadTotalTimeoutMultiplier, MAXDWORD);
    EXPECT_EQ(api.timeouts.ReadTotalTimeoutConstant, 60000u);

    api.input = {0x06, 0x15};
    uint8_t byte = 0;
    size_t got = 0;
    ASSERT_TRUE(backend.Read(h, &byte, 1, &got));
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(byte, 0x06);
    ASSERT_TRUE(backend.PurgeInput(h));
    EXPECT_TRUE(api.purged);

    // Closing twice, or a handle never issued, closes the device once.
    backend.Close(h);
    backend.Close(h);
    backend.Close(0x999);
    EXPECT_EQ(api.closes, 1);
    EXPECT_FALSE(backend.Read(h, &byte, 1, &got));
    EXPECT_EQ(LastErrorDetails().number, EBADF);
}

// The system hands a closed handle's value to the next device opened, as
// when the port is reopened: a caller still holding the old handle must
// neither reach nor close the new port.
TEST_F(Win32SerialBackendTest, AClosedHandleStaysClosedWhenTheSystemReusesItsValue) {
    api.reuseHandles = true;
    const HANDLE first = backend.Open("COM5");
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    backend.Close(first);
    const HANDLE second = backend.Open("COM5");
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_NE(second, first);

    api.input = {0x06};
    uint8_t byte = 0;
    size_t got = 0;
    EXPECT_FALSE(backend.Read(first, &byte, 1, &got));
    EXPECT_EQ(LastErrorDetails().number, EBADF);
    backend.Close(first);
    EXPECT_EQ(api.closes, 1);
    ASSERT_TRUE(backend.Read(second, &byte, 1, &got));
    EXPECT_EQ(got, 1u);
    backend.Close(second);
    EXPECT_EQ(api.closes, 2);
}

TEST_F(Win32SerialBackendTest, APortInUseOrMissingIsRecordedForTheHint) {
    api.FailNext(kOpen, win32::kErrorAccessDenied);
    EXPECT_EQ(backend.Open("COM4"), INVALID_HANDLE_VALUE);
    LastError e = LastErrorDetails();
    EXPECT_EQ(e.number, EBUSY);  // Windows refuses a second open so
    EXPECT_EQ(e.path, "\\\\.\\COM4");
    EXPECT_FALSE(e.text.empty());

    api.FailNext(kOpen, kErrorFileNotFound);
    EXPECT_EQ(backend.Open("COM9"), INVALID_HANDLE_VALUE);
    e = LastErrorDetails();
    EXPECT_EQ(e.number, ENOENT);
    EXPECT_EQ(e.path, "\\\\.\\COM9");
    EXPECT_EQ(api.closes, 0);
}

TEST_F(Win32SerialBackendTest, EveryFailingCallFailsItsOperation) {
    const HANDLE h = backend.Open("COM1");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB dcb;
    COMMTIMEOUTS t;
    uint8_t buf[4] = {1, 2, 3, 4};
    size_t n = 0;
    const struct {
        Call call;
        std::function<bool()> op;
    } cases[] = {
        {kGetState, [&] { return backend.GetState(h, &dcb); }},
        {kSetState, [&] { return backend.SetState(h, dcb); }},
        {kGetTimeouts, [&] { return backend.GetTimeouts(h, &t); }},
        {kSetTimeouts, [&] { return backend.SetTimeouts(h, t); }},
        {kPurge, [&] { return backend.PurgeInput(h); }},
        {kRead, [&] { return backend.Read(h, buf, 4, &n); }},
        {kWrite, [&] { return backend.Write(h, buf, 4, &n); }},
    };
    for (const auto& c : cases) {
        SetLastErrorText("");
        api.FailNext(c.call, kErrorGenFailure);
        EXPECT_FALSE(c.op()) << "call " << c.call;
        const LastError e = LastErrorDetails();
        EXPECT_EQ(e.number, EIO) << "call " << c.call;
        EXPECT_FALSE(e.text.empty()) << "call " << c.call;
        EXPECT_EQ(e.path, "\\\\.\\COM1") << "call " << c.call;
        // The next call goes through again.
        EXPECT_TRUE(c.op()) << "call " << c.call;
    }
}

TEST_F(Win32SerialBackendTest, OutputGoesInPiecesAndStopsWhereTheSystemStopped) {
    const HANDLE h = OpenPaced(3000);
    std::vector<uint8_t> data(600);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    size_t written = 0;
    ASSERT_TRUE(backend.Write(h, data.data(), data.size(), &written));
    EXPECT_EQ(written, 600u);
    EXPECT_EQ(api.sent, data);
    EXPECT_EQ(api.writeSizes, (std::vector<uint32_t>{256, 256, 88}));

    // The system's write time-out ran out part-way: the caller repeats.
    api.sent.clear();
    api.maxWrite = 100;
    ASSERT_TRUE(backend.Write(h, data.data(), data.size(), &written));
    EXPECT_EQ(written, 100u);

    // An empty write is one empty call.
    api.writeSizes.clear();
    ASSERT_TRUE(backend.Write(h, data.data(), 0, &written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(api.writeSizes, (std::vector<uint32_t>{0}));
}

TEST_F(Win32SerialBackendTest, OutputWaitsWhileDsrIsLowUntilTheWriteTimeOut) {
    const HANDLE h = OpenPaced(2000);
    const uint8_t data[3] = {0x1d, 0x4c, 0x00};
    size_t written = 99;

    // Low for good: nothing goes out, and the call ends after the write
    // time-out without an error.
    api.dsrLowPolls = 1'000'000;
    const int64_t start = SteadyMs();
    ASSERT_TRUE(backend.Write(h, data, sizeof data, &written));
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(api.sent.empty());
    EXPECT_GE(SteadyMs() - start, 2000);
    EXPECT_LE(SteadyMs() - start, 2000 + Win32SerialBackend::kDsrPollMs);

    // Raised after a while: everything goes.
    api.dsrPolls = 0;
    api.dsrLowPolls = 10;
    ASSERT_TRUE(backend.Write(h, data, sizeof data, &written));
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(api.dsrPolls, 11);
}

TEST_F(Win32SerialBackendTest, APortWithoutModemLinesCountsAsDsrHighButOtherFailuresFail) {
    const HANDLE h = OpenPaced(2000);
    const uint8_t data[2] = {0x1d, 0x49};
    size_t written = 0;

    api.FailNext(kDsr, win32::kErrorNotSupported);
    ASSERT_TRUE(backend.Write(h, data, sizeof data, &written));
    EXPECT_EQ(written, 2u);

    api.sent.clear();
    api.FailNext(kDsr, kErrorGenFailure);
    EXPECT_FALSE(backend.Write(h, data, sizeof data, &written));
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(api.sent.empty());
    EXPECT_EQ(LastErrorDetails().number, EIO);
}

}  // namespace
}  // namespace rtq
