#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/clock.h"
#include "ports/port_state.h"
#include "protocol/frames.h"
#include "protocol/printer_link.h"
#include "sim/sim_printer.h"
#include "tests/support/recording_notify_window.h"
#include "tests/support/sim_serial_backend.h"

namespace rtq::test {
namespace {

using rtq::sim::CommandKind;
using rtq::sim::FaultRule;
using rtq::sim::SimMode;
using rtq::sim::SimPrinter;

// The whole command set against the simulated printer over the serial
// link: what arrives in its flash is what the host meant to send.
class SimLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_bUsbLink = 0;
        g_bCancelled = 0;
        ASSERT_EQ(1, link.Open("COM1"));
        ASSERT_EQ(1, link.SetReadTimeout(1500));
    }
    void TearDown() override { link.Close(); }

    void EnterDownloadMode() {
        ASSERT_EQ(1, link.SendRaw(kCmdSwitchToDownload, 3));
        ASSERT_EQ(SimMode::Download, printer.Mode());
    }

    // Erases, selects and fills one sector, then checks its checksum
    // against the CRC of what was sent.
    void WriteSector(int sector, int size, int blockSize, uint8_t seed) {
        std::vector<std::vector<uint8_t>> data;
        uint8_t* blocks[4] = {nullptr, nullptr, nullptr, nullptr};
        std::vector<uint8_t> all;
        for (int k = 0; k * blockSize < size; ++k) {
            data.emplace_back(static_cast<size_t>(blockSize));
            for (int i = 0; i < blockSize; ++i)
                data.back()[static_cast<size_t>(i)] =
                    static_cast<uint8_t>(seed + k * 31 + i * 7 + (i >> 8));
            all.insert(all.end(), data.back().begin(), data.back().end());
        }
        for (size_t k = 0; k < data.size(); ++k) blocks[k] = data[k].data();

        ASSERT_EQ(1, link.EraseSector(kCmdEraseSector, 2, sector));
        ASSERT_EQ(1, link.SelectSector(kCmdSelectSector, 2, sector));
        ASSERT_EQ(1, link.SendSectorData(kCmdDownloadData, 2, 0, size, blockSize,
                                         blocks, &progress));
        uint16_t checksum = 0;
        ASSERT_EQ(1, link.QueryChecksum(kCmdQueryChecksum, 2, &checksum));
        EXPECT_EQ(link.GetDataCrc(), checksum);
        EXPECT_EQ(all, printer.Sector(sector));
        const auto data_cmds = printer.CommandsOf(CommandKind::Data);
        ASSERT_FALSE(data_cmds.empty());
        EXPECT_EQ(static_cast<uint32_t>(size), data_cmds.back().size);
        EXPECT_EQ(sector, data_cmds.back().sector);
    }

    VirtualClock clock;
    ScopedClock scopedClock{clock};
    SimPrinter printer;
    SimSerialBackend serial{"COM1", printer};
    ScopedSimSerialBackend scopedSerial{serial};
    RecordingNotifyWindow progress;
    CPrinterLink link;
};

TEST_F(SimLinkTest, WholeExchangeWritesTheFlash) {
    EnterDownloadMode();
    EXPECT_EQ(1, link.CheckLine(kCmdCheckLine, 2));
    EXPECT_EQ(1, link.CheckIdentity(kCmdIdentity, 2));

    WriteSector(6, 65536, 16384, 0x11);
    WriteSector(2, 8192, 8192, 0x77);

    // The size bytes as they reached the printer: 00 00 and 00 20.
    const std::vector<uint8_t> wire = serial.WrittenBytes();
    const std::vector<uint8_t> big = {0x1D, 0x11, 0x00, 0x00, 0x00, 0x00};
    const std::vector<uint8_t> small = {0x1D, 0x11, 0x00, 0x00, 0x00, 0x20};
    EXPECT_NE(wire.end(), std::search(wire.begin(), wire.end(), big.begin(), big.end()));
    EXPECT_NE(wire.end(), std::search(wire.begin(), wire.end(), small.begin(), small.end()));

    uint16_t value = 0;
    EXPECT_EQ(1, link.RecalculateCrc(kCmdRecalculateCrc, 2, &value));
    const auto recalcs = printer.CommandsOf(CommandKind::RecalculateCrc);
    ASSERT_EQ(1u, recalcs.size());
    EXPECT_EQ(recalcs[0].value, value);

    EXPECT_EQ(1, link.SendRaw(kCmdReset, 2));
    EXPECT_EQ(SimMode::Normal, printer.Mode());
    // Every answer was consumed: nothing left over for the next command.
    EXPECT_EQ(0u, printer.PendingOutput());
}

TEST_F(SimLinkTest, WrongIdentityTextGivesTwo) {
    printer.AddFault(FaultRule::WrongIdentity("Mobile Printes"));
    EnterDownloadMode();
    EXPECT_EQ(2, link.CheckIdentity(kCmdIdentity, 2));
}

TEST_F(SimLinkTest, RefusedOrUnansweredIdentityGivesZero) {
    printer.AddFault(FaultRule::Nak(CommandKind::Identity, 1));
    printer.AddFault(FaultRule::Silent(CommandKind::Identity, 2));
    EnterDownloadMode();
    EXPECT_EQ(0, link.CheckIdentity(kCmdIdentity, 2));
    EXPECT_EQ(0, link.CheckIdentity(kCmdIdentity, 2));
    EXPECT_EQ(1, link.CheckIdentity(kCmdIdentity, 2));
}

TEST_F(SimLinkTest, StaleAnswerBeforeALineCheckIsDiscarded) {
    EnterDownloadMode();
    // An answer the host never read (a line check it gave up on).
    printer.AddFault(FaultRule::Delay(CommandKind::LineCheck, 1, 20000));
    EXPECT_EQ(0, link.CheckLine(kCmdCheckLine, 2));
    clock.Advance(20000);
    EXPECT_EQ(1, link.CheckLine(kCmdCheckLine, 2));
    EXPECT_EQ(1, link.CheckIdentity(kCmdIdentity, 2));
}

}  // namespace
}  // namespace rtq::test
