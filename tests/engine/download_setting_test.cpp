// PIN code and friendly-name runs: one frame, then the reset.

#include <gtest/gtest.h>

#include "engine/result_codes.h"
#include "engine/run_settings.h"
#include "platform/messages.h"
#include "tests/engine/serial_bench.h"
#include "tests/support/fake_serial_backend.h"

namespace {

using rtq::sim::CommandKind;
using rtq::test::SerialBench;
using Bytes = std::vector<uint8_t>;

const Bytes kReset = {0x1D, 0xFF};

class SettingRun : public ::testing::Test {
protected:
    ~SettingRun() override {
        g_strPinCode.clear();
        g_strFriendlyName.clear();
    }

    int RunSetting(bool pin, bool name) {
        return b.Run({"", 0, false, false, pin, name});
    }

    Bytes Written() const { return b.backend.WrittenBytes(); }

    SerialBench b;
};

Bytes Concat(Bytes a, const Bytes& c) {
    a.insert(a.end(), c.begin(), c.end());
    return a;
}

TEST_F(SettingRun, EmptyPinCodeIsFiveBytesThenTheReset) {
    g_strPinCode = "";
    EXPECT_EQ(RunSetting(true, false), kResultSuccess);
    EXPECT_EQ(Written(), Concat({0x1D, 0x1D, 0x50, 0x00, 0x00}, kReset));
    EXPECT_EQ(b.printer.PinCode(), std::optional<std::string>(""));
}

TEST_F(SettingRun, PinCodeCharactersBetweenFlagAndTerminator) {
    g_strPinCode = "0815";
    g_strFriendlyName = "ignored";  // both flags: the PIN code wins
    EXPECT_EQ(RunSetting(true, true), kResultSuccess);
    EXPECT_EQ(Written(), Concat({0x1D, 0x1D, 0x50, 0x01, '0', '8', '1', '5', 0x00}, kReset));
    EXPECT_EQ(b.printer.PinCode(), std::optional<std::string>("0815"));
    EXPECT_FALSE(b.printer.FriendlyName().has_value());
}

TEST_F(SettingRun, FriendlyNameCarriesItsLengthAndNoTerminator) {
    g_strFriendlyName = "";
    EXPECT_EQ(RunSetting(false, true), kResultSuccess);
    EXPECT_EQ(Written(), Concat({0x1D, 0x1D, 0x51, 0x46, 0x00}, kReset));
    b.backend.ClearRecords();

    g_strFriendlyName = "Bench 7";
    EXPECT_EQ(RunSetting(false, true), kResultSuccess);
    EXPECT_EQ(Written(), Concat({0x1D, 0x1D, 0x51, 0x46, 7, 'B', 'e', 'n', 'c', 'h', ' ', '7'},
                                kReset));
    EXPECT_EQ(b.printer.FriendlyName(), std::optional<std::string>("Bench 7"));
}

TEST_F(SettingRun, FramesLongerThanEightyBytesAreSentWhole) {
    g_strPinCode = std::string(100, 'p');
    EXPECT_EQ(RunSetting(true, false), kResultSuccess);
    const Bytes written = Written();
    ASSERT_EQ(written.size(), 105u + kReset.size());
    EXPECT_EQ(written[3], 0x01);
    EXPECT_EQ(written[104], 0x00);
}

TEST_F(SettingRun, NoSwitchNoLineCheckAndTheFixedTexts) {
    g_strPinCode = "1";
    const int64_t start = b.clock.NowMs();
    EXPECT_EQ(RunSetting(true, false), kResultSuccess);
    EXPECT_EQ(b.printer.CommandCount(CommandKind::Switch), 0);
    EXPECT_EQ(b.printer.CommandCount(CommandKind::LineCheck), 0);
    EXPECT_EQ(b.printer.CommandCount(CommandKind::Identity), 0);
    EXPECT_EQ(b.backend.OpenCount(), 1);

    EXPECT_EQ(b.StepTexts(), (std::vector<std::string>{"Downloading PIN Code...",
                                                       "Reseting printer...",
                                                       "Download completed!"}));
    const std::vector<ProgressInfo> p = b.window.Progress();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[1].m_nStep, 6400);
    EXPECT_EQ(p[2].m_nPos, 65536);
    // Progress opens with Cancel disabled.
    ASSERT_FALSE(b.window.Messages().empty());
    EXPECT_EQ(b.window.Messages()[0].msg, WM_OPEN_PROGRESS);
    EXPECT_EQ(b.window.Messages()[0].wParam, 0u);
    // Five whole seconds after the reset's progress.
    const int64_t done = b.TimeOfText("Download completed!");
    EXPECT_GT(done, start);
    EXPECT_GE(b.clock.NowMs() - done, 5000);
    EXPECT_LE(b.clock.NowMs() - done, 6000);

    g_strFriendlyName = "x";
    b.window.Clear();
    EXPECT_EQ(RunSetting(false, true), kResultSuccess);
    EXPECT_EQ(b.StepTexts().front(), "Downloading FRIENDLY NAME ...");
}

TEST(SettingFailure, AFrameThatCannotBeWrittenIsNoSuccess) {
    rtq::VirtualClock clock;
    rtq::ScopedClock scopedClock(clock);
    rtq::test::FakeSerialBackend fake;
    rtq::test::ScopedSerialBackend scoped(fake);
    rtq::test::RecordingNotifyWindow window;
    g_strPinCode = "1234";
    {
        CFlashDownloader d;
        d.SetNotifyWindow(&window);
        ASSERT_EQ(d.OpenSerialPort("/dev/x", 9600, "NONE", 1), kResultSuccess);
        fake.FailWriteCall(1);
        EXPECT_EQ(d.DownloadSetting(1), kResultDataTimeout);
        // No reset after the lost frame.
        EXPECT_TRUE(fake.WrittenBytes().empty());
        d.Finish();
    }
    {
        CFlashDownloader d;
        d.SetNotifyWindow(&window);
        ASSERT_EQ(d.OpenSerialPort("/dev/x", 9600, "NONE", 1), kResultSuccess);
        fake.ClearWrites();
        fake.FailWriteCall(2);
        EXPECT_EQ(d.DownloadSetting(1), kResultResetFailed);
        EXPECT_EQ(fake.WrittenBytes(), (Bytes{0x1D, 0x1D, 0x50, 0x01, '1', '2', '3', '4', 0x00}));
        d.Finish();
    }
    g_strPinCode.clear();
}

}  // namespace
