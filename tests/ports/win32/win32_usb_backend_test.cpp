// The Windows USB printer backend over a scripted set of system calls: the
// registry search, each call failing with the error a test chooses, reads
// with one request outstanding, and an unplug that the port reconnects.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "ports/comm_port.h"
#include "ports/port_state.h"
#include "ports/win32/usb_api.h"
#include "ports/win32/usb_registry.h"
#include "ports/win32/win32_usb_backend.h"
#include "tests/support/fake_usb_backend.h"
#include "tests/support/recording_notify_window.h"

namespace rtq {
namespace {

using win32::OverlappedIo;
using win32::SysHandle;
using win32::WaitResult;

enum Call { kRegOpen, kProbe, kOpen, kControl, kEvent, kWrite, kWriteWait, kResult, kRead, kCalls };

constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kFileNotFound = 2;
const std::string kKey2 = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_6D31&Pid_2207";
const std::string kKey3 = "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_7C44&Pid_2207";

SysHandle Token(intptr_t n) { return reinterpret_cast<SysHandle>(n); }

// Registry, devices and their I/O in memory; no system call is made.
class ScriptedUsbApi : public win32::UsbApi {
public:
    void FailNext(Call call, uint32_t error) { m_fail[call] = error; }
    // An instance under a device key, with its SymbolicName value.
    void AddInstance(const std::string& key, const std::string& name, const std::string& value) {
        instances[key].push_back(name);
        values[key + "\\" + name + "\\Device Parameters"] = value;
    }

    std::map<std::string, std::vector<std::string>> instances;
    std::map<std::string, std::string> values;
    std::set<std::string> present;  // device paths that open
    std::vector<std::string> probed;
    std::vector<uint32_t> controls;
    std::vector<std::vector<uint8_t>> writes;
    std::vector<uint8_t> input;  // what the printer has sent
    int readRequests = 0;
    int cancels = 0;
    std::vector<SysHandle> opened;  // the device handles, in order
    std::set<SysHandle> closed;

    SysHandle RegOpen(const std::string& path, uint32_t* error) override {
        *error = 0;
        if (Fault(kRegOpen)) return *error = m_last, nullptr;
        if (instances.count(path) || values.count(path)) return Remember(path);
        *error = kFileNotFound;
        return nullptr;
    }
    uint32_t RegEnumSubKey(SysHandle key, uint32_t index, std::string* name) override {
        const auto& list = instances[m_keys.at(key)];
        if (index >= list.size()) return win32::kErrorNoMoreItems;
        *name = list[index];
        return 0;
    }
    uint32_t RegQueryString(SysHandle key, const char* value, uint32_t capacity,
                            std::string* out) override {
        EXPECT_STREQ(value, "SymbolicName");
        std::string v = values.at(m_keys.at(key)) + '\0';
        if (v.size() > capacity) return win32::kErrorMoreData;
        *out = v;
        return 0;
    }
    void RegClose(SysHandle key) override { m_keys.erase(key); }

    SysHandle Probe(const char* path) override {
        probed.push_back(path);
        if (Fault(kProbe)) return win32::InvalidSysHandle();
        return Device(path);
    }
    SysHandle OpenOverlapped(const char* path) override {
        if (Fault(kOpen)) return win32::InvalidSysHandle();
        const SysHandle device = Device(path);
        opened.push_back(device);
        return device;
    }
    bool Control(SysHandle, uint32_t code, void*, uint32_t, uint32_t* returned) override {
        controls.push_back(code);
        *returned = 0;
        return !Fault(kControl);
    }
    SysHandle NewEvent() override { return Fault(kEvent) ? nullptr : Token(++m_next); }
    WaitResult Wait(SysHandle event, uint32_t) override {
        if (m_read && event == m_read->hEvent)
            return input.empty() && !m_readCancelled ? WaitResult::TimedOut : WaitResult::Signaled;
        if (Fault(kWriteWait)) return m_last == 0 ? WaitResult::TimedOut : WaitResult::Failed;
        return WaitResult::Signaled;
    }
    bool WriteFile(SysHandle, const void* data, uint32_t len, OverlappedIo* ov) override {
        if (Fault(kWrite)) return false;
        const auto* p = static_cast<const uint8_t*>(data);
        writes.emplace_back(p, p + len);
        ov->InternalHigh = len;
        m_last = win32::kErrorIoPending;
        return false;
    }
    bool ReadFile(SysHandle, void* buf, uint32_t len, OverlappedIo* ov) override {
        ++readRequests;
        if (Fault(kRead)) return false;
        m_read = ov;
        m_readBuf = static_cast<uint8_t*>(buf);
        m_readLen = len;
        m_readCancelled = false;
        m_last = win32::kErrorIoPending;
        return false;
    }
    bool GetOverlappedResult(SysHandle, OverlappedIo* ov, uint32_t* count, bool) override {
        *count = 0;
        if (ov != m_read) {
            if (Fault(kResult)) return false;
            *count = static_cast<uint32_t>(ov->InternalHigh);
            return true;
        }
        if (m_readCancelled) return m_last = win32::kErrorOperationAborted, false;
        if (input.empty()) return m_last = win32::kErrorIoIncomplete, false;
        const uint32_t n = std::min<uint32_t>(m_readLen, static_cast<uint32_t>(input.size()));
        std::memcpy(m_readBuf, input.data(), n);
        input.erase(input.begin(), input.begin() + n);
        *count = n;
        m_read = nullptr;
        return true;
    }
    bool CancelIo(SysHandle, OverlappedIo* ov) override {
        ++cancels;
        if (ov == m_read) m_readCancelled = true;
        return true;
    }
    bool Close(SysHandle h) override {
        closed.insert(h);
        return true;
    }
    uint32_t LastError() override { return m_last; }

private:
    bool Fault(Call call) {
        if (m_fail[call] == ~0u) return false;
        m_last = m_fail[call];
        m_fail[call] = ~0u;
        return true;
    }
    SysHandle Remember(const std::string& path) {
        const SysHandle k = Token(++m_next);
        m_keys[k] = path;
        return k;
    }
    SysHandle Device(const char* path) {
        if (!present.count(path)) return m_last = kFileNotFound, win32::InvalidSysHandle();
        return Token(++m_next);
    }

    uint32_t m_fail[kCalls] = {~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
    uint32_t m_last = 0;
    intptr_t m_next = 0x100;
    std::map<SysHandle, std::string> m_keys;
    OverlappedIo* m_read = nullptr;
    uint8_t* m_readBuf = nullptr;
    uint32_t m_readLen = 0;
    bool m_readCancelled = false;
};

class Win32UsbBackendTest : public ::testing::Test {
protected:
    Win32UsbBackendTest() {
        api.AddInstance(kKey2, "0001", "\\??\\USB#VID_6D31&PID_2207#0001#{28d78fad}");
        api.present.insert(kPath);
    }
    ~Win32UsbBackendTest() override { SetWantedUsbPrinter({}); }

    HANDLE OpenPrinter() {
        std::string path;
        EXPECT_TRUE(backend.FindDevicePath(&path));
        const HANDLE h = backend.Open(path);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        return h;
    }

    const std::string kPath = "\\\\?\\USB#VID_6D31&PID_2207#0001#{28d78fad}";
    VirtualClock clock;
    ScopedClock scoped{clock};
    ScriptedUsbApi api;
    Win32UsbBackend backend{5000, api};
};

TEST_F(Win32UsbBackendTest, TheFirstOpenableInstanceInTableOrderWins) {
    // Two under the second key, the first no longer attached; one under
    // the third, never reached; a path too long to hold is passed over.
    api.instances.clear();
    api.AddInstance(kKey2, "gone", "\\??\\USB#gone");
    api.AddInstance(kKey2, "long", "\\??\\" + std::string(252, 'x'));
    api.AddInstance(kKey2, "0001", "\\??\\USB#VID_6D31&PID_2207#0001#{28d78fad}");
    api.AddInstance(kKey3, "0002", "\\??\\USB#third");
    api.present.insert("\\\\?\\USB#third");
    std::string path;
    ASSERT_TRUE(backend.FindDevicePath(&path));
    EXPECT_EQ(path, kPath);
    EXPECT_EQ(api.probed, (std::vector<std::string>{"\\\\?\\USB#gone", kPath}));

    // Named by its instance (serial number): the third key's printer.
    SetWantedUsbPrinter("0002");
    ASSERT_TRUE(backend.FindDevicePath(&path));
    EXPECT_EQ(path, "\\\\?\\USB#third");
    SetWantedUsbPrinter("0009");
    EXPECT_FALSE(backend.FindDevicePath(&path));
    EXPECT_EQ(LastErrorDetails().number, 0);
    EXPECT_EQ(LastErrorDetails().path, "0009");
}

TEST_F(Win32UsbBackendTest, NoPrinterOrARefusingOneIsRecordedForTheHint) {
    api.present.clear();
    std::string path = "old";
    EXPECT_FALSE(backend.FindDevicePath(&path));
    EXPECT_EQ(path, "");
    EXPECT_EQ(LastErrorDetails().number, ENODEV);
    EXPECT_EQ(LastErrorDetails().path, "");

    api.present.insert(kPath);
    api.FailNext(kProbe, kAccessDenied);
    EXPECT_FALSE(backend.FindDevicePath(&path));
    EXPECT_EQ(LastErrorDetails().number, EACCES);
    EXPECT_EQ(LastErrorDetails().path, kPath);
    EXPECT_FALSE(LastErrorDetails().text.empty());
}

TEST_F(Win32UsbBackendTest, TheListHasTheAttachedPrintersWithWhetherTheyOpen) {
    api.AddInstance(kKey2, "gone", "\\??\\USB#gone");
    api.AddInstance(kKey3, "0002", "\\??\\USB#third");
    api.present.insert("\\\\?\\USB#third");
    api.FailNext(kProbe, kAccessDenied);  // the first printer: in use
    const auto listed = AttachedUsbPrinters(api);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].printer.path, kPath);
    EXPECT_EQ(listed[0].openError, kAccessDenied);
    EXPECT_EQ(listed[1].printer.instance, "0002");
    EXPECT_STREQ(listed[1].printer.vendorId, "7C44");
    EXPECT_EQ(listed[1].openError, 0u);
}

TEST_F(Win32UsbBackendTest, EveryFailingCallFailsItsOperation) {
    api.FailNext(kOpen, kAccessDenied);
    EXPECT_EQ(backend.Open(kPath), INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastErrorDetails().path, kPath);

    const HANDLE h = OpenPrinter();
    EXPECT_TRUE(backend.GetDeviceId(h));
    EXPECT_TRUE(backend.GetPortStatus(h));
    EXPECT_EQ(api.controls, (std::vector<uint32_t>{0x220034, 0x220030}));
    api.FailNext(kControl, win32::kErrorGenFailure);
    EXPECT_FALSE(backend.GetDeviceId(h));
    api.FailNext(kControl, win32::kErrorGenFailure);
    EXPECT_FALSE(backend.GetPortStatus(h));

    const uint8_t data[3] = {1, 2, 3};
    size_t written = 9;
    EXPECT_EQ(backend.Write(h, data, 3, &written), UsbWriteStatus::Ok);
    EXPECT_EQ(written, 3u);
    for (Call call : {kEvent, kWrite, kResult}) {
        api.FailNext(call, kAccessDenied);
        EXPECT_EQ(backend.Write(h, data, 3, &written), UsbWriteStatus::Error) << call;
    }
    // A printer that takes nothing: the request is cancelled.
    const int cancels = api.cancels;
    api.FailNext(kWriteWait, 0);
    EXPECT_EQ(backend.Write(h, data, 3, &written), UsbWriteStatus::Error);
    EXPECT_EQ(api.cancels, cancels + 1);
    EXPECT_NE(LastErrorText().find("timed out"), std::string::npos);

    api.FailNext(kRead, win32::kErrorGenFailure);
    uint8_t buf[8];
    size_t got = 0;
    EXPECT_TRUE(backend.WaitReadable(h, 10));
    EXPECT_FALSE(backend.Read(h, buf, sizeof buf, &got));
}

TEST_F(Win32UsbBackendTest, AGoneDeviceReadsAsAnInvalidHandle) {
    const uint8_t data[1] = {0x1B};
    size_t written = 0;
    EXPECT_EQ(backend.Write(12345, data, 1, &written), UsbWriteStatus::InvalidHandle);
    const HANDLE h = OpenPrinter();
    for (uint32_t code : {win32::kErrorInvalidHandle, win32::kErrorDeviceNotConnected,
                          win32::kErrorGenFailure, win32::kErrorNoSuchDevice}) {
        api.FailNext(kWrite, code);
        EXPECT_EQ(backend.Write(h, data, 1, &written), UsbWriteStatus::InvalidHandle) << code;
    }
}

TEST_F(Win32UsbBackendTest, OneReadStaysOutstandingUntilItEndsOrTheHandleCloses) {
    const HANDLE h = OpenPrinter();
    EXPECT_FALSE(backend.WaitReadable(h, 10));
    EXPECT_FALSE(backend.WaitReadable(h, 10));
    EXPECT_EQ(api.readRequests, 1);

    api.input = {0x06, 0x31, 0x32};
    ASSERT_TRUE(backend.WaitReadable(h, 10));
    uint8_t buf[8] = {};
    size_t got = 0;
    ASSERT_TRUE(backend.Read(h, buf, 2, &got));  // the rest is kept
    EXPECT_EQ(got, 2u);
    EXPECT_TRUE(backend.WaitReadable(h, 10));
    ASSERT_TRUE(backend.Read(h, buf + 2, 6, &got));
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 3), (std::vector<uint8_t>{0x06, 0x31, 0x32}));
    EXPECT_EQ(api.readRequests, 1);

    EXPECT_FALSE(backend.WaitReadable(h, 10));
    EXPECT_EQ(api.readRequests, 2);
    backend.Close(h);
    EXPECT_GE(api.cancels, 1);
    EXPECT_EQ(api.closed.count(api.opened.back()), 1u);
    EXPECT_FALSE(backend.Read(h, buf, 1, &got));
}

// The port's reconnection over this backend: the printer is unplugged
// after the first chunk and plugged in again.
class Reconnecting : public test::RecordingNotifyWindow {
public:
    explicit Reconnecting(IUsbBackend& usb) : m_usb(usb) {}
    bool ReconnectUsb() override {
        test::RecordingNotifyWindow::ReconnectUsb();
        m_usb.Close(g_hUsbDevice);
        std::string path;
        if (!m_usb.FindDevicePath(&path)) return false;
        g_hUsbDevice = m_usb.Open(path);
        return g_hUsbDevice != INVALID_HANDLE_VALUE && m_usb.GetDeviceId(g_hUsbDevice) &&
               m_usb.GetPortStatus(g_hUsbDevice);
    }

private:
    IUsbBackend& m_usb;
};

TEST_F(Win32UsbBackendTest, AnInvalidHandleReconnectsAndTheChunkIsSentAgain) {
    test::ScopedUsbBackend use(backend);
    Reconnecting wnd(backend);
    g_pMainDlg = &wnd;
    g_hUsbDevice = OpenPrinter();
    const HANDLE first = g_hUsbDevice;
    const SysHandle firstDevice = api.opened.back();
    std::vector<uint8_t> data(10000);
    std::iota(data.begin(), data.end(), uint8_t{0});
    api.FailNext(kResult, win32::kErrorInvalidHandle);  // the first chunk's end

    CCommPort port;
    EXPECT_EQ(port.WriteOverlapped(data.data(), 10000), 1);
    g_pMainDlg = nullptr;
    EXPECT_EQ(wnd.reconnectCalls(), 1);
    EXPECT_NE(g_hUsbDevice.load(), first);
    EXPECT_EQ(api.closed.count(firstDevice), 1u);
    ASSERT_EQ(api.writes.size(), 4u);
    EXPECT_EQ(api.writes[0], api.writes[1]);
    std::vector<uint8_t> sent;
    for (size_t i = 1; i < api.writes.size(); ++i)
        sent.insert(sent.end(), api.writes[i].begin(), api.writes[i].end());
    EXPECT_EQ(sent, data);
    backend.Close(g_hUsbDevice);
    g_hUsbDevice = INVALID_HANDLE_VALUE;
}

}  // namespace
}  // namespace rtq
