// Whole serial and Bluetooth runs against the simulated printer.

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/result_codes.h"
#include "platform/messages.h"
#include "tests/engine/serial_bench.h"

namespace {

using rtq::sim::CommandKind;
using rtq::test::RunArgs;
using rtq::test::SerialBench;
using Sectors = std::vector<int>;

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t len) {
    return std::vector<uint8_t>(v.begin() + from, v.begin() + from + len);
}

// Everything outside [from, from + len) still holds the initial fill.
bool UntouchedOutside(const SerialBench& b, uint32_t from, size_t len) {
    const std::vector<uint8_t> flash = b.printer.Flash();
    for (size_t i = 0; i < flash.size(); ++i)
        if ((i < from || i >= from + len) && flash[i] != 0xFF) return false;
    return true;
}

TEST(SerialRun, MainFirmwareOfOneSectorOverACable) {
    SerialBench b;
    b.serial.strParity = "EVEN";
    b.serial.nStopBits = 2;
    const std::vector<uint8_t> image = rtq::test::MainFirmwareImage(65536);
    ASSERT_EQ(b.Run({b.dir.Write("one.mfw", image), 6, true}), kResultSuccess);

    EXPECT_EQ(b.printer.ReadFlash(0x20000, image.size()), image);
    EXPECT_TRUE(UntouchedOutside(b, 0x20000, image.size()));
    // Erased first, then again just before it is written.
    EXPECT_EQ(b.printer.ErasedSectors(), (Sectors{6, 6}));
    EXPECT_EQ(b.printer.WrittenSectors(), (Sectors{6}));
    EXPECT_EQ(b.printer.CommandCount(CommandKind::RecalculateCrc), 1);
    EXPECT_EQ(b.printer.CommandCount(CommandKind::Reset), 1);
    EXPECT_EQ(b.printer.Mode(), rtq::sim::SimMode::Normal);

    // The first contact at 9600, everything after the switch at 38400 with
    // the chosen parity and stop bits.
    EXPECT_EQ(b.backend.OpenCount(), 2);
    const auto switches = b.printer.CommandsOf(CommandKind::Switch);
    ASSERT_EQ(switches.size(), 1u);
    EXPECT_EQ(switches[0].line.baud, 9600u);
    for (const auto& e : b.printer.CommandsOf(CommandKind::Data)) {
        EXPECT_EQ(e.line.baud, 38400u);
        EXPECT_EQ(e.line.parity, 'E');
        EXPECT_EQ(e.line.stopBits, 2);
    }
    EXPECT_FALSE(b.backend.IsOpen("COM5"));
}

TEST(SerialRun, ThreeSectorsAreErasedFirstThenWrittenLastToFirst) {
    SerialBench b;
    const std::vector<uint8_t> image = rtq::test::MainFirmwareImage(196608);
    ASSERT_EQ(b.Run({b.dir.Write("three.mfw", image), 6, true}), kResultSuccess);

    EXPECT_EQ(b.printer.ReadFlash(0x20000, image.size()), image);
    EXPECT_TRUE(UntouchedOutside(b, 0x20000, image.size()));
    EXPECT_EQ(b.printer.ErasedSectors(), (Sectors{6, 8, 7, 6}));
    EXPECT_EQ(b.printer.WrittenSectors(), (Sectors{8, 7, 6}));
    EXPECT_EQ(b.printer.CommandCount(CommandKind::Checksum), 3);
    EXPECT_EQ(b.downloader->SectorPlan(), (std::vector<int32_t>{6, 7, 8}));

    // The recalculation comes after the last sector's checksum, then the reset.
    const auto commands = b.printer.Commands();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(commands[commands.size() - 3].kind, CommandKind::Checksum);
    EXPECT_EQ(commands[commands.size() - 2].kind, CommandKind::RecalculateCrc);
    EXPECT_EQ(commands.back().kind, CommandKind::Reset);

    const std::vector<std::string> expected = {
        "Switching printer to download...",
        "Checking communication line status...",
        "Erasing flash sector 1 of 3...",
        "Selecting flash sector 1 of 3...",
        "Downloading data to flash sector 1 of 3...",
        "Calculating checksum",
        "Erasing flash sector 2 of 3...",
        "Selecting flash sector 2 of 3...",
        "Downloading data to flash sector 2 of 3...",
        "Calculating checksum",
        "Erasing flash sector 3 of 3...",
        "Selecting flash sector 3 of 3...",
        "Downloading data to flash sector 3 of 3...",
        "Calculating checksum",
        "Recalculate CRC",
        "Reseting printer...",
        "Download completed!",
    };
    EXPECT_EQ(b.StepTexts(), expected);
}

TEST(SerialRun, ProgressRecordsOfOneSector) {
    SerialBench b;
    ASSERT_EQ(b.Run({b.dir.Write("f.bin", rtq::test::FontImage(65536)), 20}), kResultSuccess);
    struct Rec {
        std::string text;
        int32_t range, pos, step;
    };
    std::vector<Rec> got;
    for (const ProgressInfo& p : b.window.Progress())
        got.push_back({p.m_strText, p.m_nRange, p.m_nPos, p.m_nStep});
    const std::vector<Rec> expected = {
        {"Switching printer to download...", 10000, 0, 1000},
        {"Switching printer to download...", 10000, 10000, 1000},
        {"Checking communication line status...", 10000, 0, 167},
        {"Checking communication line status...", 10000, 10000, 167},
        {"Erasing flash sector 1 of 1...", 65536, 0, 16000},
        {"Erasing flash sector 1 of 1...", 65536, 65536, 16000},
        {"Selecting flash sector 1 of 1...", 65536, 0, 21600},
        {"Selecting flash sector 1 of 1...", 65536, 65536, 21600},
        {"Downloading data to flash sector 1 of 1...", 65536, 0, 5600},
        {"Downloading data to flash sector 1 of 1...", 65536, 65536, 5600},
        {"Calculating checksum", 65536, 0, 6400},
        {"Reseting printer...", 65536, 0, 6400},
        {"Download completed!", 65536, 65536, 6400},
    };
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].text, expected[i].text) << i;
        EXPECT_EQ(got[i].range, expected[i].range) << i;
        EXPECT_EQ(got[i].pos, expected[i].pos) << i;
        EXPECT_EQ(got[i].step, expected[i].step) << i;
    }

    // Progress opens with Cancel enabled, Cancel goes once the line check
    // passed, and Finish closes the progress.
    const std::vector<UINT> codes = b.window.Codes();
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.front(), WM_OPEN_PROGRESS);
    EXPECT_EQ(b.window.Messages().front().wParam, 1u);
    EXPECT_EQ(codes.back(), WM_CLOSE_PROGRESS);
    const auto disable = std::find(codes.begin(), codes.end(), WM_DISABLE_CANCEL);
    ASSERT_NE(disable, codes.end());
    EXPECT_EQ(b.window.Messages()[disable - codes.begin() - 1].progress.m_strText,
              "Checking communication line status...");
}

TEST(SerialRun, IplWritesSector5ThenRestartsThenSector4) {
    rtq::sim::SimConfig config;
    config.iplRestartMs = 10000;  // deaf while restarting, within the 11 s
    SerialBench b(config);
    const std::vector<uint8_t> image = rtq::test::IplImage();
    ASSERT_EQ(b.Run({b.dir.Write("boot.ipl", image), 4, false, true}), kResultSuccess);

    EXPECT_EQ(b.printer.ReadFlash(0x8000, 0x18000), Slice(image, 0x8000, 0x18000));
    // The first 0x8000 bytes are never sent.
    EXPECT_TRUE(UntouchedOutside(b, 0x8000, 0x18000));
    EXPECT_EQ(b.printer.WrittenSectors(), (Sectors{5, 4}));
    EXPECT_EQ(b.printer.ErasedSectors(), (Sectors{4}));
    EXPECT_EQ(b.printer.CommandCount(CommandKind::Checksum), 1);
    EXPECT_EQ(b.printer.CommandCount(CommandKind::RecalculateCrc), 0);
    // A fresh line check after the restart, before sector 4 is erased.
    const auto commands = b.printer.Commands();
    const auto data5 = std::find_if(commands.begin(), commands.end(),
                                    [](const auto& e) { return e.kind == CommandKind::Data; });
    ASSERT_NE(data5, commands.end());
    const auto next = std::find_if(data5 + 1, commands.end(),
                                   [](const auto& e) { return e.kind != CommandKind::LineCheck; });
    ASSERT_NE(next, commands.end());
    EXPECT_GT(next - data5, 1);
    EXPECT_EQ(next->kind, CommandKind::Erase);
    EXPECT_EQ(next->sector, 4);
    // Not a single byte of the skipped part went over the line.
    EXPECT_LT(b.backend.WrittenBytes().size(), 0x18000u + 200u);

    const std::vector<std::string> texts = b.StepTexts();
    const std::vector<std::string> expected = {
        "Switching printer to download...",
        "Checking communication line status...",
        "Selecting flash sector 1 of 2...",
        "Downloading data to flash sector 1 of 2...",
        "Reseting printer, please wait...",
        "Checking communication line status...",
        "Erasing flash sector 2 of 2...",
        "Selecting flash sector 2 of 2...",
        "Downloading data to flash sector 2 of 2...",
        "Calculating checksum",
        "Reseting printer...",
        "Download completed!",
    };
    EXPECT_EQ(texts, expected);

    // 11 whole seconds for the restart.
    size_t at = 0;
    const int64_t restart = b.TimeOfText("Reseting printer, please wait...", &at);
    const auto messages = b.window.Messages();
    EXPECT_EQ(messages[at + 1].progress.m_nPos, 32768);
    EXPECT_EQ(messages[at + 1].atMs, (restart / 1000 + 12) * 1000);
}

TEST(SerialRun, CgFontOverBluetoothKeepsThePortAsOpened) {
    SerialBench b;
    b.window.bluetoothChecked = true;
    b.serial.nBaud = 38400;
    const std::vector<uint8_t> image = rtq::test::FontImage(131072);
    ASSERT_EQ(b.Run({b.dir.Write("font.bin", image), 20}), kResultSuccess);

    EXPECT_EQ(b.printer.ReadFlash(0x100000, image.size()), image);
    EXPECT_TRUE(UntouchedOutside(b, 0x100000, image.size()));
    EXPECT_EQ(b.printer.ErasedSectors(), (Sectors{20, 21, 20}));
    EXPECT_EQ(b.printer.WrittenSectors(), (Sectors{21, 20}));
    EXPECT_EQ(b.printer.CommandCount(CommandKind::RecalculateCrc), 0);
    EXPECT_EQ(b.backend.OpenCount(), 1);
    EXPECT_EQ(b.backend.States().size(), 1u);
}

TEST(SerialRun, FixedWaitsOnTheVirtualClock) {
    SerialBench b;
    const std::vector<uint8_t> image = rtq::test::MainFirmwareImage(65536);
    ASSERT_EQ(b.Download({b.dir.Write("w.mfw", image), 6, true}), kResultSuccess);
    const int64_t end = b.clock.NowMs();

    auto wholeSecondsAfter = [](int64_t startMs, int seconds) {
        // A T-second wait ends at the first whole second later than start + T.
        return (startMs / 1000 + seconds + 1) * 1000;
    };

    // 5 s after the switch (its write ends with the port's 100 ms pause).
    const auto writes = b.backend.Writes();
    ASSERT_FALSE(writes.empty());
    ASSERT_EQ(writes[0].bytes, (std::vector<uint8_t>{0x1D, 0x5B, 0x7D}));
    size_t at = 0;
    ASSERT_GE(b.TimeOfText("Switching printer to download...", &at), 0);
    const auto messages = b.window.Messages();
    EXPECT_EQ(messages[at + 1].progress.m_nPos, 10000);
    EXPECT_EQ(messages[at + 1].atMs, wholeSecondsAfter(writes[0].atMs + 100, 5));

    // 1 s between the select's end and the data.
    size_t select = 0;
    b.TimeOfText("Selecting flash sector 1 of 1...", &select);
    const int64_t dataAt = b.TimeOfText("Downloading data to flash sector 1 of 1...");
    EXPECT_EQ(dataAt - messages[select + 1].atMs, 1000);

    // 65 s between the recalculation command and its status.
    const auto recalc = b.printer.CommandsOf(CommandKind::RecalculateCrc);
    ASSERT_EQ(recalc.size(), 1u);
    const int64_t resetText = b.TimeOfText("Reseting printer...");
    EXPECT_GE(resetText - recalc[0].atMs, 65000);
    EXPECT_LT(resetText - recalc[0].atMs, 65500);

    // 5 s after the reset.
    const int64_t done = b.TimeOfText("Download completed!");
    EXPECT_EQ(end, wholeSecondsAfter(done, 5));
}


}  // namespace
