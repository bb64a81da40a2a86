// Whole CG FONT runs against the simulated printer, traced: tracing must
// not change what goes over the wire or how long the run takes, and the
// trace must show every write call with its timing.

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "engine/flash_downloader.h"
#include "engine/sector_sizes.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "ports/wire_trace.h"
#include "sim/sim_printer.h"
#include "tests/engine/temp_files.h"
#include "tests/ports/trace_reader.h"
#include "tests/support/fake_usb_backend.h"
#include "tests/support/recording_notify_window.h"
#include "tests/support/sim_serial_backend.h"
#include "workers/usb_reply_path.h"

namespace rtq::test {
namespace {

constexpr int32_t kFontSector = 20;
constexpr uint32_t kFontAddress = 0x100000;

struct SerialOutcome {
    int result = 0;
    std::vector<uint8_t> wire;
    int64_t durationMs = 0;
};

// A CG FONT run over a serial cable on the virtual clock, traced to
// tracePath unless it is empty.
SerialOutcome RunSerialFont(const std::string& file, const std::string& tracePath) {
    VirtualClock clock;
    ScopedClock useClock(clock);
    sim::SimPrinter printer;
    SimSerialBackend backend("COM5", printer);
    ScopedSimSerialBackend useBackend(backend);
    RecordingNotifyWindow window;
    g_bUsbLink = 0;
    std::string error;
    if (!tracePath.empty()) {
        EXPECT_TRUE(StartWireTrace(tracePath, &error)) << error;
    }
    CFlashDownloader d;
    d.SetNotifyWindow(&window);
    const SerialPortSettings serial{"\\\\.\\COM5", 9600, "NONE", 1};
    SerialOutcome out;
    const int64_t start = clock.NowMs();
    out.result = d.OpenSerialPort(serial.strPort, serial.nBaud, serial.strParity, serial.nStopBits);
    if (out.result == 1) out.result = d.CheckDataFile(file);
    if (out.result == 1)
        out.result = d.DownloadSerial(file, kFontSector, 0, 0, kLinkSerial, g_aSectorSizes,
                                      &serial, 0, 0);
    d.Finish();
    out.durationMs = clock.NowMs() - start;
    StopWireTrace();
    out.wire = backend.WrittenBytes();
    return out;
}

TEST(WireTraceRun, SerialFontRunIsTheSameTracedAndShowsEveryWriteCall) {
    TempFolder folder;
    const std::vector<uint8_t> font = FontImage(65536);
    const std::string file = folder.Write("font.bin", font);
    const std::string trace = folder.Path() + "/serial.trace";
    const SerialOutcome plain = RunSerialFont(file, "");
    const SerialOutcome traced = RunSerialFont(file, trace);

    ASSERT_EQ(plain.result, 1);
    ASSERT_EQ(traced.result, 1);
    EXPECT_EQ(traced.wire, plain.wire);
    EXPECT_NEAR(traced.durationMs, plain.durationMs, plain.durationMs / 100);

    const std::vector<TracedCall> calls = ReadTrace(trace);
    EXPECT_EQ(BytesOf(calls, "tx"), plain.wire);
    // Lines in time order; the trace spans the run on the same clock.
    for (size_t i = 1; i < calls.size(); ++i) EXPECT_LE(calls[i - 1].timeUs, calls[i].timeUs) << i;
    EXPECT_LE(calls.back().timeUs, traced.durationMs * 1000);
    auto first = [&](const char* event) {
        return std::find_if(calls.begin(), calls.end(), [&](const TracedCall& c) { return c.event == event; });
    };
    ASSERT_NE(first("times"), calls.end());
    EXPECT_EQ(first("open")->details, R"("\\.\COM5")");
    EXPECT_EQ(first("dcb")->details,
              "baud=9600 data=8 parity=none stop=1 parity-check=on dtr=on rts=on dsr-flow=on "
              "cts-flow=off xon-out=off xon-in=off");
    EXPECT_EQ(first("times")->details,
              "rd-interval=max rd-mult=max rd-const=1500 wr-mult=250 wr-const=3000");

    // The data frame: its prefix, four header bytes and four blocks (on
    // continuation lines), one write call each, each followed by the
    // 100 ms pause.
    std::vector<TracedCall> tx;
    for (const TracedCall& c : calls)
        if (c.event == "tx") tx.push_back(c);
    auto at = std::find_if(tx.begin(), tx.end(), [](const TracedCall& c) {
        return c.bytes == std::vector<uint8_t>{0x1D, 0x11};
    });
    ASSERT_GE(tx.end() - at, 9);
    std::vector<uint8_t> blocks;
    for (int i = 1; i <= 8; ++i) {
        EXPECT_EQ(at[i].bytes.size(), i <= 4 ? 1u : 16384u) << i;
        EXPECT_GE(at[i].StartUs() - at[i - 1].timeUs, 100'000) << i;
        if (i > 4) blocks.insert(blocks.end(), at[i].bytes.begin(), at[i].bytes.end());
    }
    EXPECT_EQ(blocks, font);
}

// The dialog's side of a USB reply: a receive thread per reply, reading
// through the backend on its own thread.
class ThreadedOwner : public RecordingNotifyWindow {
public:
    ThreadedOwner() {
        onSend = [this](UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
            if (msg == WM_START_RECV_USB) replies.StartReceiveThread(static_cast<int>(wParam), this);
            return 1;
        };
        onKill = [this] { replies.KillReceiveUSBThread(); };
    }
    ~ThreadedOwner() override { replies.Release(); }

    CUsbReplyPath replies;
};

TEST(WireTraceRun, UsbFontRunWritesAndReadsFromTwoThreads) {
    ScaledClock clock(200);
    ScopedClock useClock(clock);
    sim::SimPrinter printer;
    FakeUsbBackend usb;
    ScopedUsbBackend useUsb(usb);
    std::mutex answersMutex;
    std::vector<uint8_t> answers;
    usb.SetWriteHook([&](const std::vector<uint8_t>& bytes) {
        printer.Receive(bytes);
        std::vector<uint8_t> answer = printer.TakeOutput();
        if (answer.empty()) return;
        {
            std::lock_guard<std::mutex> lk(answersMutex);
            answers.insert(answers.end(), answer.begin(), answer.end());
        }
        usb.PushInput(answer);
    });
    TempFolder folder;
    const std::vector<uint8_t> font = FontImage(65536);
    const std::string file = folder.Write("font.bin", font);
    std::string error;
    ASSERT_TRUE(StartWireTrace(folder.Path() + "/usb.trace", &error)) << error;

    g_bUsbLink = 1;
    int result = 0;
    {
        ThreadedOwner owner;
        CFlashDownloader d;
        d.SetNotifyWindow(&owner);
        result = d.ReopenUsb();
        if (result == 1)
            result = d.DownloadUsb(file, kFontSector, 0, 0, kLinkUsb, g_aSectorSizes, 0, 0);
        d.Finish();
    }
    g_bUsbLink = 0;
    StopWireTrace();

    ASSERT_EQ(result, 1);
    EXPECT_EQ(printer.ReadFlash(kFontAddress, font.size()), font);
    const std::vector<TracedCall> calls = ReadTrace(folder.Path() + "/usb.trace");
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[0].event + calls[1].event + calls[2].event + calls[3].event +
                  calls.back().event,
              "findopenidstatusclose");
    EXPECT_EQ(BytesOf(calls, "tx"), usb.WrittenBytes());
    std::lock_guard<std::mutex> lk(answersMutex);
    EXPECT_EQ(BytesOf(calls, "rx"), answers);
    for (size_t i = 1; i < calls.size(); ++i) EXPECT_LE(calls[i - 1].timeUs, calls[i].timeUs) << i;
}

}  // namespace
}  // namespace rtq::test
