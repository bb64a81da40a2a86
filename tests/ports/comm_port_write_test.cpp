#include <gtest/gtest.h>

#include <functional>

#include <numeric>
#include <vector>

#include "platform/last_error.h"
#include "tests/ports/port_fixture.h"
#include "tests/support/recording_notify_window.h"

namespace rtq::test {
namespace {

std::vector<uint8_t> Bytes(size_t n) {
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), uint8_t{0});
    return v;
}

using SerialWrite = PortTest;

TEST_F(SerialWrite, PausesAfterEveryCallIncludingTheLast) {
    OpenPort();
    serial.SetMaxWriteChunk(2);
    const auto data = Bytes(5);
    const int64_t start = clock.NowMs();
    EXPECT_EQ(port.Write(data.data(), 5), 1);

    const auto writes = serial.Writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].requested, 5u);
    EXPECT_EQ(writes[1].requested, 3u);  // the rest, from where it stopped
    EXPECT_EQ(writes[2].requested, 1u);
    EXPECT_EQ(writes[0].atMs, start);
    EXPECT_EQ(writes[1].atMs, start + 100);
    EXPECT_EQ(writes[2].atMs, start + 200);
    EXPECT_EQ(clock.NowMs(), start + 300);
    EXPECT_EQ(serial.WrittenBytes(), data);
}

TEST_F(SerialWrite, ZeroLengthMakesOneEmptyCallAndOnePause) {
    OpenPort();
    const int64_t start = clock.NowMs();
    EXPECT_EQ(port.Write(nullptr, 0), 1);
    const auto writes = serial.Writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].requested, 0u);
    EXPECT_EQ(clock.NowMs(), start + 100);
}

TEST_F(SerialWrite, CancelStopsAfterTheCallThatWasMade) {
    OpenPort();
    serial.SetMaxWriteChunk(4);
    const auto data = Bytes(12);

    g_bCancelled = 1;
    EXPECT_EQ(port.Write(data.data(), 12), 0);
    ASSERT_EQ(serial.Writes().size(), 1u);
    EXPECT_EQ(serial.WrittenBytes().size(), 4u);

    // Pressed while the write is under way: the call in progress completes.
    g_bCancelled = 0;
    serial.ClearWrites();
    int calls = 0;
    serial.SetWriteHook([&](const std::vector<uint8_t>&) {
        if (++calls == 2) g_bCancelled = 1;
    });
    EXPECT_EQ(port.Write(data.data(), 12), 0);
    EXPECT_EQ(serial.Writes().size(), 2u);
}

TEST_F(SerialWrite, StalledCallsAreRepeatedUntilEveryByteIsOut) {
    OpenPort();
    ASSERT_EQ(port.SetReadTimeout(1500), 1);  // write constant 3000
    serial.SetZeroWrites(3);
    const auto data = Bytes(6);
    const int64_t start = clock.NowMs();
    EXPECT_EQ(port.Write(data.data(), 6), 1);
    EXPECT_EQ(serial.Writes().size(), 4u);
    EXPECT_EQ(serial.WrittenBytes(), data);
    EXPECT_EQ(clock.NowMs() - start, 3 * 3000 + 4 * 100);
}

TEST_F(SerialWrite, APrinterThatNeverTakesDataEndsTheWriteAfterThirtySeconds) {
    OpenPort();
    ASSERT_EQ(port.SetReadTimeout(1500), 1);  // write constant 3000
    // Stalled for 27.9 s, then the bytes go: the write is done.
    serial.SetZeroWrites(9);
    const auto data = Bytes(6);
    EXPECT_EQ(port.Write(data.data(), 6), 1);
    EXPECT_EQ(serial.WrittenBytes(), data);

    // Stalled for good: failed once 30 s passed without a byte, not never.
    serial.SetZeroWrites(1000000);
    const int64_t start = clock.NowMs();
    EXPECT_EQ(port.Write(data.data(), 6), 0);
    EXPECT_GE(clock.NowMs() - start, 30000);
    EXPECT_LT(clock.NowMs() - start, 30000 + 3000 + 100);
    EXPECT_NE(LastErrorText().find("DSR"), std::string::npos);
}

TEST_F(SerialWrite, FailingCallEndsTheWrite) {
    OpenPort();
    serial.SetMaxWriteChunk(1);
    serial.FailWriteCall(2);
    const auto data = Bytes(4);
    const int64_t start = clock.NowMs();
    EXPECT_EQ(port.Write(data.data(), 4), 0);
    EXPECT_EQ(serial.WrittenBytes().size(), 1u);
    EXPECT_EQ(clock.NowMs() - start, 100);  // no pause after the failure
}

TEST_F(SerialWrite, BadArgumentsWriteNothing) {
    OpenPort();
    const auto data = Bytes(4);
    EXPECT_EQ(port.Write(data.data(), -1), 0);
    EXPECT_EQ(port.Write(nullptr, 4), 0);
    EXPECT_TRUE(serial.Writes().empty());
}

TEST_F(SerialWrite, UnopenedPortFails) {
    const auto data = Bytes(4);
    EXPECT_EQ(port.Write(data.data(), 4), 0);
}

TEST_F(SerialWrite, HoldsPortMutexForEachCallOnly) {
    OpenPort();
    serial.SetMaxWriteChunk(2);
    std::vector<bool> held;
    serial.SetWriteHook(
        [&](const std::vector<uint8_t>&) { held.push_back(PortMutexHeld()); });
    const auto data = Bytes(4);
    EXPECT_EQ(port.Write(data.data(), 4), 1);
    EXPECT_EQ(held, (std::vector<bool>{true, true}));
    EXPECT_FALSE(PortMutexHeld());
}

TEST_F(SerialWrite, UsesOwnHandleWhileUsbIsSelected) {
    OpenPort();
    g_bUsbLink = 1;
    g_hUsbDevice = 0x1234;
    const auto data = Bytes(3);
    EXPECT_EQ(port.Write(data.data(), 3), 1);
    EXPECT_EQ(serial.WrittenBytes(), data);
    EXPECT_TRUE(usb.Writes().empty());
}

// A main dialog whose reconnection really reopens the fake device.
class ReconnectingWindow : public RecordingNotifyWindow {
public:
    explicit ReconnectingWindow(FakeUsbBackend& usb) : m_usb(usb) {}
    // Whether the printer is back at a reconnection; by default it is.
    std::function<bool()> onReconnect;

    bool ReconnectUsb() override {
        RecordingNotifyWindow::ReconnectUsb();
        m_usb.Close(g_hUsbDevice);
        if (onReconnect && !onReconnect()) return false;
        m_usb.SetUnplugged(false);
        std::string path;
        if (!m_usb.FindDevicePath(&path)) return false;
        g_hUsbDevice = m_usb.Open(path);
        return g_hUsbDevice != INVALID_HANDLE_VALUE;
    }

private:
    FakeUsbBackend& m_usb;
};

class UsbWrite : public PortTest {
protected:
    void SetUp() override {
        g_bUsbLink = 1;
        g_hUsbDevice = usb.Open(FakeUsbBackend::kDefaultPath);
        ASSERT_NE(g_hUsbDevice, INVALID_HANDLE_VALUE);
    }

    std::vector<size_t> ChunkSizes() const {
        std::vector<size_t> sizes;
        for (const auto& w : usb.Writes()) sizes.push_back(w.bytes.size());
        return sizes;
    }
};

TEST_F(UsbWrite, SplitsIntoChunksOfAtMost4096) {
    const auto data = Bytes(10000);
    const int64_t start = clock.NowMs();
    EXPECT_EQ(port.WriteOverlapped(data.data(), 10000), 1);
    EXPECT_EQ(ChunkSizes(), (std::vector<size_t>{4096, 4096, 1808}));
    EXPECT_EQ(usb.WrittenBytes(), data);
    EXPECT_EQ(clock.NowMs(), start);  // no pacing over USB

    usb.ClearWrites();
    EXPECT_EQ(port.WriteOverlapped(data.data(), 4096), 1);
    EXPECT_EQ(ChunkSizes(), (std::vector<size_t>{4096}));
}

TEST_F(UsbWrite, ZeroLengthIssuesOneEmptyChunk) {
    EXPECT_EQ(port.WriteOverlapped(nullptr, 0), 1);
    EXPECT_EQ(ChunkSizes(), (std::vector<size_t>{0}));
}

TEST_F(UsbWrite, UnpluggedPrinterIsReconnectedAndTheChunkSentAgain) {
    ReconnectingWindow wnd(usb);
    g_pMainDlg = &wnd;
    const auto data = Bytes(10000);
    usb.SetWriteHook([&, n = 0](const std::vector<uint8_t>&) mutable {
        if (++n == 1) usb.SetUnplugged(true);
    });
    const int64_t start = clock.NowMs();
    EXPECT_EQ(port.WriteOverlapped(data.data(), 10000), 1);

    const auto writes = usb.Writes();
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[1].status, UsbWriteStatus::InvalidHandle);
    EXPECT_EQ(writes[2].bytes, writes[1].bytes);
    EXPECT_NE(writes[2].handle, writes[1].handle);  // the reopened device
    EXPECT_EQ(usb.WrittenBytes(), data);
    EXPECT_EQ(wnd.reconnectCalls(), 1);
    EXPECT_EQ(clock.NowMs() - start, 1000);
}

TEST_F(UsbWrite, FailedOrImpossibleReconnectionFails) {
    const auto data = Bytes(100);
    usb.ScriptWriteResults({UsbWriteStatus::InvalidHandle});
    EXPECT_EQ(port.WriteOverlapped(data.data(), 100), 0);  // no main dialog

    // A printer that does not come back: ten attempts a second apart.
    RecordingNotifyWindow wnd;
    wnd.reconnectResult = false;
    g_pMainDlg = &wnd;
    usb.ScriptWriteResults({UsbWriteStatus::InvalidHandle});
    const int64_t start = clock.NowMs();
    EXPECT_EQ(port.WriteOverlapped(data.data(), 100), 0);
    EXPECT_EQ(wnd.reconnectCalls(), 10);
    EXPECT_EQ(clock.NowMs() - start, 9000);
}

TEST_F(UsbWrite, ReconnectionWaitsForARestartingPrinter) {
    // The write fails as the printer goes; it is back three seconds later.
    ReconnectingWindow wnd(usb);
    g_pMainDlg = &wnd;
    int64_t backAt = 0;
    wnd.onReconnect = [&] { return clock.NowMs() >= backAt; };
    usb.SetWriteHook([&, n = 0](const std::vector<uint8_t>&) mutable {
        if (++n == 1) {
            usb.SetUnplugged(true);
            backAt = clock.NowMs() + 3000;
        }
    });
    const auto data = Bytes(10000);
    const int64_t start = clock.NowMs();
    EXPECT_EQ(port.WriteOverlapped(data.data(), 10000), 1);
    EXPECT_EQ(usb.WrittenBytes(), data);
    EXPECT_EQ(wnd.reconnectCalls(), 4);
    EXPECT_EQ(clock.NowMs() - start, 4000);
}

TEST_F(UsbWrite, OtherErrorsFailWithoutReconnecting) {
    RecordingNotifyWindow wnd;
    wnd.reconnectResult = true;
    g_pMainDlg = &wnd;
    usb.ScriptWriteResults({UsbWriteStatus::Ok, UsbWriteStatus::Error});
    const auto data = Bytes(9000);
    EXPECT_EQ(port.WriteOverlapped(data.data(), 9000), 0);
    EXPECT_EQ(usb.Writes().size(), 2u);
    EXPECT_EQ(wnd.reconnectCalls(), 0);
}

TEST_F(UsbWrite, ReconnectionsOfOneChunkAreBounded) {
    RecordingNotifyWindow wnd;
    wnd.reconnectResult = true;  // claims success, device stays dead
    g_pMainDlg = &wnd;
    usb.SetUnplugged(true);
    const auto data = Bytes(10);
    EXPECT_EQ(port.WriteOverlapped(data.data(), 10), 0);
    EXPECT_GT(wnd.reconnectCalls(), 1);
    EXPECT_LE(wnd.reconnectCalls(), 20);
}

TEST_F(UsbWrite, BoundCountsPerChunkNotPerWrite) {
    // One drop-out per chunk over a long write must not exhaust the bound.
    RecordingNotifyWindow wnd;
    wnd.reconnectResult = true;
    g_pMainDlg = &wnd;
    std::vector<UsbWriteStatus> script;
    for (int i = 0; i < 30; ++i) {
        script.push_back(UsbWriteStatus::InvalidHandle);
        script.push_back(UsbWriteStatus::Ok);
    }
    usb.ScriptWriteResults(script);
    const auto data = Bytes(30 * 4096);
    EXPECT_EQ(port.WriteOverlapped(data.data(), 30 * 4096), 1);
    EXPECT_EQ(wnd.reconnectCalls(), 30);
    EXPECT_EQ(usb.WrittenBytes(), data);
}

TEST_F(UsbWrite, HoldsPortMutexForEachChunkAndIgnoresCancel) {
    g_bCancelled = 1;
    std::vector<bool> held;
    usb.SetWriteHook(
        [&](const std::vector<uint8_t>&) { held.push_back(PortMutexHeld()); });
    const auto data = Bytes(5000);
    EXPECT_EQ(port.WriteOverlapped(data.data(), 5000), 1);
    EXPECT_EQ(held, (std::vector<bool>{true, true}));
    EXPECT_FALSE(PortMutexHeld());
}

TEST_F(UsbWrite, BadArgumentsWriteNothing) {
    const auto data = Bytes(4);
    EXPECT_EQ(port.WriteOverlapped(data.data(), -5), 0);
    EXPECT_EQ(port.WriteOverlapped(nullptr, 4), 0);
    EXPECT_TRUE(usb.Writes().empty());
}

}  // namespace
}  // namespace rtq::test
