// Every failure a serial run can end with: each stops at once with its
// code, and a sector in flight keeps its blocks until Finish.

#include <gtest/gtest.h>

#include <new>

#include "engine/allocation_hooks.h"
#include "engine/result_codes.h"
#include "engine/sector_sizes.h"
#include "ports/port_state.h"
#include "platform/messages.h"
#include "tests/engine/serial_bench.h"
#include "tests/support/fake_serial_backend.h"

namespace {

using rtq::sim::CommandKind;
using rtq::sim::FaultRule;
using rtq::test::RunArgs;
using rtq::test::SerialBench;

// Runs `action` once, when a progress record with `text` and position pos
// (-1: any) is sent.
void OnProgress(SerialBench& b, const std::string& text, int32_t pos,
                std::function<void()> action) {
    auto done = std::make_shared<bool>(false);
    b.window.onSend = [=](UINT msg, WPARAM, LPARAM lParam) -> LRESULT {
        if (msg == WM_UPDATE_PROGRESS && !*done) {
            const auto* p = reinterpret_cast<const ProgressInfo*>(lParam);
            if (p->m_strText == text && (pos == -1 || p->m_nPos == pos)) {
                *done = true;
                action();
            }
        }
        return 1;
    };
}

std::string MainFile(SerialBench& b, size_t sectors = 1) {
    return b.dir.Write("m.mfw", rtq::test::MainFirmwareImage(sectors * 65536));
}

// Download without Finish; the caller checks what the run left behind.
int MainRun(SerialBench& b, size_t sectors = 1) {
    return b.Download({MainFile(b, sectors), 6, true});
}

TEST(SerialFailure, EraseRefused) {
    {
        SerialBench b;  // the first-sector erase
        b.printer.AddFault(FaultRule::Nak(CommandKind::Erase, 1));
        EXPECT_EQ(MainRun(b, 2), kResultEraseFailed);
        EXPECT_EQ(b.printer.CommandCount(CommandKind::Select), 0);
        EXPECT_EQ(b.downloader->HeldBlocks(), 0);
    }
    {
        SerialBench b;  // the erase just before the sector is written
        b.printer.AddFault(FaultRule::Nak(CommandKind::Erase, 2));
        EXPECT_EQ(MainRun(b, 2), kResultEraseFailed);
        EXPECT_EQ(b.printer.CommandCount(CommandKind::Select), 0);
        EXPECT_EQ(b.printer.CommandCount(CommandKind::Reset), 0);
        EXPECT_EQ(b.downloader->HeldBlocks(), 4);
        b.downloader->Finish();
        EXPECT_EQ(b.downloader->HeldBlocks(), 0);
        EXPECT_FALSE(b.backend.IsOpen("COM5"));
    }
}

TEST(SerialFailure, SelectDataAndChecksumRefused) {
    struct Case {
        FaultRule fault;
        int code;
        CommandKind notHeard;
        int heldBlocks;
    };
    const Case cases[] = {
        {FaultRule::Nak(CommandKind::Select, 1), kResultSelectFailed, CommandKind::Data, 4},
        {FaultRule::Nak(CommandKind::Data, 1), kResultDataTimeout, CommandKind::Checksum, 4},
        {FaultRule::Silent(CommandKind::Data, 1), kResultDataTimeout, CommandKind::Checksum, 4},
        {FaultRule::Silent(CommandKind::Checksum, 1), kResultChecksumQueryFailed,
         CommandKind::Erase, 4},
        {FaultRule::Nak(CommandKind::Checksum, 1), kResultChecksumQueryFailed,
         CommandKind::Erase, 4},
        {FaultRule::WrongChecksum(1, 0x0001), kResultChecksumMismatch, CommandKind::Erase, 4},
        {FaultRule::Nak(CommandKind::RecalculateCrc, 1), kResultRecalculateFailed,
         CommandKind::Reset, 0},
    };
    for (const Case& c : cases) {
        SerialBench b;
        b.printer.AddFault(c.fault);
        // Two sectors: after the first one's checksum another erase follows.
        const int erasesBefore = 2;
        EXPECT_EQ(MainRun(b, 2), c.code) << rtq::sim::FaultActionName(c.fault.action);
        if (c.notHeard == CommandKind::Erase)
            EXPECT_EQ(b.printer.CommandCount(CommandKind::Erase), erasesBefore);
        else
            EXPECT_EQ(b.printer.CommandCount(c.notHeard), 0) << c.code;
        EXPECT_EQ(b.printer.CommandCount(CommandKind::Reset), 0) << c.code;
        EXPECT_EQ(b.downloader->HeldBlocks(), c.heldBlocks) << c.code;
        b.downloader->Finish();
        EXPECT_EQ(b.downloader->HeldBlocks(), 0);
    }
}

TEST(SerialFailure, DataFileCannotBeOpened) {
    SerialBench b;
    ASSERT_EQ(b.downloader->OpenSerialPort(b.serial.strPort, 9600, "NONE", 1), kResultSuccess);
    EXPECT_EQ(b.downloader->DownloadSerial(b.dir.Path() + "/gone.mfw", 6, 1, 0, kLinkSerial,
                                           g_aSectorSizes, &b.serial, 0, 0),
              kResultFileOpenFailed);
    EXPECT_TRUE(b.backend.WrittenBytes().empty());
    EXPECT_FALSE(b.backend.IsOpen("COM5"));  // the file test closes the port
    EXPECT_TRUE(b.window.Messages().empty());
}

int g_blockCalls = 0;
uint8_t* FailThirdBlock(size_t size) {
    return ++g_blockCalls == 3 ? nullptr : new (std::nothrow) uint8_t[size];
}

TEST(SerialFailure, BlockCannotBeAllocated) {
    SerialBench b;
    g_blockCalls = 0;
    rtq::SetBlockAllocHook(FailThirdBlock);
    const int r = MainRun(b);
    rtq::SetBlockAllocHook(nullptr);
    EXPECT_EQ(r, kResultNoBlockMemory);
    EXPECT_EQ(b.downloader->HeldBlocks(), 2);
    EXPECT_EQ(b.printer.ErasedSectors(), (std::vector<int>{6}));
    EXPECT_EQ(b.printer.CommandCount(CommandKind::Select), 0);
    b.downloader->Finish();
    EXPECT_EQ(b.downloader->HeldBlocks(), 0);
}

TEST(SerialFailure, LineNeverAnswersThirtyChecks) {
    SerialBench b;
    b.printer.AddFault(FaultRule::Silent(CommandKind::LineCheck, 0));
    EXPECT_EQ(MainRun(b), kResultLineBusy);
    EXPECT_EQ(b.printer.CommandCount(CommandKind::LineCheck), 30);
    EXPECT_EQ(b.printer.CommandCount(CommandKind::Identity), 0);
    // Cancel stays possible while the line is being checked.
    for (UINT code : b.window.Codes()) EXPECT_NE(code, WM_DISABLE_CANCEL);
}

TEST(SerialFailure, CancelStopsTheLineChecks) {
    // Cancel pressed while the printer switches: not one more frame goes out.
    SerialBench b;
    b.printer.AddFault(FaultRule::Silent(CommandKind::LineCheck, 0));
    OnProgress(b, "Checking communication line status...", -1, [] { g_bCancelled = 1; });
    EXPECT_EQ(MainRun(b), kResultLineBusy);
    EXPECT_EQ(b.printer.CommandCount(CommandKind::LineCheck), 0);

    // Cancel during the checks: the attempt under way is the last.
    SerialBench c;
    c.printer.AddFault(FaultRule::Silent(CommandKind::LineCheck, 0));
    c.printer.SetObserver([](const rtq::sim::SimEvent& e) {
        if (e.type == rtq::sim::EventType::Command && e.kind == CommandKind::LineCheck)
            g_bCancelled = 1;
    });
    EXPECT_EQ(MainRun(c), kResultLineBusy);
    EXPECT_EQ(c.printer.CommandCount(CommandKind::LineCheck), 1);
}

TEST(SerialFailure, LineAnswersOnTheLastCheck) {
    SerialBench b;
    FaultRule silent = FaultRule::Silent(CommandKind::LineCheck, 1);
    silent.times = 29;
    b.printer.AddFault(silent);
    EXPECT_EQ(b.Run({MainFile(b), 6, true}), kResultSuccess);
    EXPECT_EQ(b.printer.CommandCount(CommandKind::LineCheck), 30);
}

TEST(SerialFailure, LineSilentAfterTheIplRestart) {
    SerialBench b;
    FaultRule silent = FaultRule::Silent(CommandKind::LineCheck, 2);
    silent.times = 0;
    b.printer.AddFault(silent);
    EXPECT_EQ(b.Download({b.dir.Write("b.ipl", rtq::test::IplImage()), 4, false, true}),
              kResultLineBusy);
    EXPECT_EQ(b.printer.CommandCount(CommandKind::LineCheck), 31);
    EXPECT_EQ(b.printer.WrittenSectors(), (std::vector<int>{5}));
    EXPECT_EQ(b.printer.CommandCount(CommandKind::Erase), 0);
    // Sector 5 is still held; the downloader goes without Finish, and the
    // sanitizer build's leak check watches that nothing is lost.
    EXPECT_EQ(b.downloader->HeldBlocks(), 4);
}

TEST(SerialFailure, SwitchCannotBeWrittenOrPrinterDoesNotIdentify) {
    {
        SerialBench b;
        ASSERT_EQ(b.downloader->OpenSerialPort(b.serial.strPort, 9600, "NONE", 1),
                  kResultSuccess);
        b.backend.SetWriteFails(true);
        EXPECT_EQ(b.downloader->DownloadSerial(MainFile(b), 6, 1, 0, kLinkSerial,
                                               g_aSectorSizes, &b.serial, 0, 0),
                  kResultSwitchFailed);
        EXPECT_EQ(b.backend.OpenCount(), 1);  // no reopen after a failed switch
    }
    {
        SerialBench b;
        b.printer.AddFault(FaultRule::Silent(CommandKind::Identity, 1));
        EXPECT_EQ(MainRun(b), kResultSwitchFailed);
        EXPECT_EQ(b.printer.CommandCount(CommandKind::Erase), 0);
    }
    {
        SerialBench b;
        b.printer.AddFault(FaultRule::Nak(CommandKind::Identity, 1));
        EXPECT_EQ(MainRun(b), kResultSwitchFailed);
    }
}

TEST(SerialFailure, AnotherPrinterAnswers) {
    SerialBench b;
    b.printer.AddFault(FaultRule::WrongIdentity("Mobile Printes"));
    EXPECT_EQ(MainRun(b), kResultWrongPrinter);
    EXPECT_EQ(b.printer.CommandCount(CommandKind::Erase), 0);
}

TEST(SerialFailure, ResetCannotBeWritten) {
    SerialBench b;
    OnProgress(b, "Reseting printer...", -1, [&] { b.backend.SetWriteFails(true); });
    EXPECT_EQ(MainRun(b), kResultResetFailed);
    EXPECT_EQ(b.printer.WrittenSectors(), (std::vector<int>{6}));
    for (const ProgressInfo& p : b.window.Progress())
        EXPECT_NE(p.m_strText, "Download completed!");
}

TEST(SerialFailure, PortCannotBeOpenedOrReopened) {
    {
        SerialBench b;
        b.backend.SetOpenFails(true);
        EXPECT_EQ(MainRun(b), kResultPortOpenFailed);
    }
    {
        SerialBench b;
        // The port refuses to open again once the printer is switched.
        OnProgress(b, "Switching printer to download...", 10000,
                   [&] { b.backend.SetOpenFails(true); });
        EXPECT_EQ(MainRun(b), kResultPortOpenFailed);
        EXPECT_EQ(b.backend.OpenCount(), 1);
        EXPECT_EQ(b.printer.CommandCount(CommandKind::LineCheck), 0);
    }
}

TEST(SerialFailure, PortCannotBeConfigured) {
    rtq::VirtualClock clock;
    rtq::ScopedClock scopedClock(clock);
    rtq::test::FakeSerialBackend fake;
    rtq::test::ScopedSerialBackend scoped(fake);
    rtq::test::TempFolder dir;
    const std::string path = dir.Write("m.mfw", rtq::test::MainFirmwareImage(65536));
    {
        CFlashDownloader d;
        fake.SetSetStateFails(true);
        EXPECT_EQ(d.OpenSerialPort("\\\\.\\COM5", 9600, "NONE", 1), kResultPortConfigFailed);
        d.Finish();
        EXPECT_FALSE(fake.IsOpen());
    }
    {
        // Configuring at 38400 fails after the switch.
        fake.SetSetStateFails(false);
        CFlashDownloader d;
        rtq::test::RecordingNotifyWindow window;
        d.SetNotifyWindow(&window);
        window.onSend = [&](UINT msg, WPARAM, LPARAM lParam) -> LRESULT {
            if (msg == WM_UPDATE_PROGRESS &&
                reinterpret_cast<const ProgressInfo*>(lParam)->m_nPos == 10000)
                fake.SetSetStateFails(true);
            return 1;
        };
        const SerialPortSettings serial{"\\\\.\\COM5", 9600, "ODD", 2};
        ASSERT_EQ(d.OpenSerialPort(serial.strPort, 9600, "ODD", 2), kResultSuccess);
        EXPECT_EQ(d.DownloadSerial(path, 6, 1, 0, kLinkSerial, g_aSectorSizes, &serial, 0, 0),
                  kResultPortConfigFailed);
        EXPECT_EQ(fake.OpenCount(), 3);
        d.Finish();
    }
}

TEST(SerialFailure, FilesBreakingTheLengthRulesNeverReachThePrinter) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int32_t first;
        bool ipl;
    };
    std::vector<uint8_t> longIpl = rtq::test::IplImage();
    longIpl.resize(0x30000, 0x11);
    std::vector<uint8_t> shortIpl = rtq::test::IplImage();
    shortIpl.resize(0x1FFFF);
    const Case cases[] = {
        {"odd.mfw", rtq::test::MainFirmwareImage(65537), 6, false},
        {"short.mfw", rtq::test::MainFirmwareImage(1300), 6, false},
        {"empty.bin", {}, 20, false},
        {"past.bin", rtq::test::FontImage(52 * 65536), 20, false},
        {"short.ipl", shortIpl, 4, true},
        {"long.ipl", longIpl, 4, true},
        {"tiny.ipl", std::vector<uint8_t>(0x8000, 1), 4, true},
    };
    for (const Case& c : cases) {
        SerialBench b;
        EXPECT_EQ(b.Run({b.dir.Write(c.name, c.bytes), c.first, false, c.ipl}),
                  kResultBadDataFile)
            << c.name;
        EXPECT_TRUE(b.backend.WrittenBytes().empty()) << c.name;
        for (UINT code : b.window.Codes()) EXPECT_NE(code, WM_OPEN_PROGRESS) << c.name;
    }
}


}  // namespace
