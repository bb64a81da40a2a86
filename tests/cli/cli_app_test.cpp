// rtqflash-cli run in process: the checks before a run, the result line
// and exit status, and whole runs against the simulated printer.

#include "cli/cli_app.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/interrupt.h"
#include "cli/text_escape.h"
#include "engine/result_codes.h"
#include "engine/run_settings.h"
#include "platform/clock.h"
#include "ports/port_state.h"
#include "sim/sim_printer.h"
#include "tests/cli/scoped_env.h"
#include "tests/engine/temp_files.h"
#include "tests/support/sim_serial_backend.h"

namespace {

using rtq::sim::CommandKind;

struct Outcome {
    int status;
    std::string out;
    std::string err;

    std::string LastLine() const {
        std::string text = out;
        if (!text.empty() && text.back() == '\n') text.pop_back();
        const size_t nl = text.rfind('\n');
        return nl == std::string::npos ? text : text.substr(nl + 1);
    }
};

class CliApp : public ::testing::Test {
protected:
    CliApp() { backend.AddDevice("COM5", printer); }
    ~CliApp() override {
        g_strPinCode.clear();
        g_strFriendlyName.clear();
        g_bPinCodeRun = 0;
        g_bFriendlyNameRun = 0;
    }

    Outcome Run(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        const int status = rtq::cli::RunCli(args, out, err, false);
        return {status, out.str(), err.str()};
    }

    rtq::VirtualClock clock;
    rtq::ScopedClock scopedClock{clock};
    rtq::sim::SimPrinter printer;
    rtq::test::SimSerialBackend backend;
    rtq::test::ScopedSimSerialBackend scopedBackend{backend};
    rtq::test::TempFolder dir;
};

TEST_F(CliApp, UsageErrorsAreOneLineAndExitWith64) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"flash", "--type", "font"}, "--port or --usb is required"},
        {{"flash", "--usb", "--baud", "9600", "--type", "pin"}, "--usb takes no --bluetooth"},
        {{"flash", "--port", "COM1", "--type", "font", "--speed", "9600"}, "--speed"},
        {{"flash", "--port"}, "--port"},
        {{"list", "--json=yes"}, "json"},
        // The offending word is printed, but cannot start a line of its own.
        {{"flash", "--port", "COM1", "--type", "font", "a", "b\nresult 1: forged"},
         "b\\nresult 1: forged"},
    };
    for (const auto& [args, problem] : cases) {
        const Outcome o = Run(args);
        EXPECT_EQ(o.status, 64) << problem;
        EXPECT_TRUE(o.out.empty()) << problem;
        EXPECT_EQ(o.err.rfind("rtqflash-cli: ", 0), 0u) << o.err;
        EXPECT_EQ(o.err.find('\n'), o.err.size() - 1) << o.err;
        EXPECT_NE(o.err.find(problem), std::string::npos) << o.err;
    }

    const Outcome help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: rtqflash-cli"), std::string::npos);
    const Outcome version = Run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "rtqflash-cli 4.0.0\n");
}

TEST_F(CliApp, CheckShowsThePlanWithoutTouchingAPort) {
    const std::string path = dir.Write("three.mfw", rtq::test::MainFirmwareImage(196608));
    const Outcome o = Run({"check", "--type", "main firmware", path});
    EXPECT_EQ(o.status, 0);
    // Nothing was downloaded, and the result line says so.
    EXPECT_EQ(o.LastLine(),
              "result 1: MAIN FIRMWARE data file checked, fit for its sectors; nothing was written");
    // Printed as all outside text is (a Windows path's backslashes doubled).
    EXPECT_NE(o.out.find("MAIN FIRMWARE: " + rtq::cli::EscapeText(path) +
                         ", 196608 bytes, 3 sectors"),
              std::string::npos);
    EXPECT_NE(o.out.find("sector 6: flash 0x020000-0x02FFFF from file 0x000000-0x00FFFF"),
              std::string::npos);
    EXPECT_NE(o.out.find("sector 8: flash 0x040000-0x04FFFF from file 0x020000-0x02FFFF"),
              std::string::npos);
    EXPECT_NE(o.out.find("order: erase sector 6, then sector 8 7 6"), std::string::npos);
    EXPECT_EQ(backend.OpenCount(), 0);

    const Outcome ipl = Run({"check", "--type", "ipl", dir.Write("b.ipl", rtq::test::IplImage())});
    EXPECT_EQ(ipl.status, 0);
    EXPECT_NE(ipl.out.find("sector 4: flash 0x008000-0x00FFFF from file 0x008000-0x00FFFF"),
              std::string::npos);
    EXPECT_NE(ipl.out.find("sector 5: flash 0x010000-0x01FFFF from file 0x010000-0x01FFFF"),
              std::string::npos);
}

TEST_F(CliApp, CheckRefusesBadFiles) {
    struct Case {
        std::string type, name;
        std::vector<uint8_t> bytes;
        std::string line;
        int status;
    };
    const std::vector<Case> cases = {
        {"font", "f.mfw", rtq::test::FontImage(65536), "result 1020: Invalid binary data file!",
         20},
        {"font", "f.bin", rtq::test::MainFirmwareImage(65536),
         "result 1042: This file is not for RTQ5V!", 42},
        {"main", "m.mfw", rtq::test::MainFirmwareImage(1300),
         "result 1020: Invalid binary data file!", 20},
    };
    for (const Case& c : cases) {
        const Outcome o = Run({"check", "--type", c.type, dir.Write(c.name, c.bytes)});
        EXPECT_EQ(o.LastLine(), c.line) << c.name;
        EXPECT_EQ(o.status, c.status) << c.name;
    }
    const Outcome missing = Run({"check", "--type", "font", dir.Path() + "/none.bin"});
    EXPECT_EQ(missing.LastLine(), "result 1007: Unable to open file!");
    EXPECT_EQ(missing.status, 7);

    // A setting has no file: a mistake on the command line, said as such.
    const Outcome pin = Run({"check", "--type", "pin", dir.Write("p.bin", {})});
    EXPECT_EQ(pin.status, 64);
    EXPECT_EQ(pin.out, "");
    EXPECT_NE(pin.err.find("PIN CODE has no data file to check"), std::string::npos) << pin.err;
}

TEST_F(CliApp, FlashSettingsAreCheckedInTheDialogsOrderBeforeAnyPort) {
    const std::string font = dir.Write("f.bin", rtq::test::FontImage(65536));
    struct Case {
        std::vector<std::string> args;
        int code;
    };
    const std::vector<Case> cases = {
        {{"--port", "", "--type", "nope", font, "--name", "a\tb"}, kResultBadPort},
        {{"--port", "COM5", "--type", "nope", "--name", "a\tb", "--pin", "\xE9"},
         kResultBadFriendlyName},
        {{"--port", "COM5", "--type", "nope", "--pin", "\xE9"}, kResultBadPinCode},
        {{"--port", "COM5", "--type", "nope", "--parity", "X"}, kResultBadDownloadType},
        {{"--port", "COM5", "--type", "ipl", "--bluetooth", font}, kResultBadDownloadType},
        {{"--port", "COM5", "--type", "font", "--parity", "X"}, kResultBadDataFile},
        {{"--port", "COM5", "--type", "main", font, "--parity", "X"}, kResultBadDataFile},
        {{"--port", "COM5", "--type", "font", font, "--parity", "MARK", "--baud", "1"},
         kResultBadParity},
        {{"--port", "COM5", "--type", "font", font, "--baud", "300", "--stop-bits", "3"},
         kResultBadBaud},
        {{"--port", "COM5", "--type", "font", font, "--stop-bits", "3"}, kResultBadStopBits},
        {{"--port", "COM5", "--type", "font", dir.Write("g.bin", {'X', 'B', '0', '1'})},
         kResultWrongFile},
        {{"--port", "COM5", "--type", "font", dir.Write("h.bin", rtq::test::FontImage(100))},
         kResultBadDataFile},
        {{"--port", "COM65", "--type", "font", font}, kResultBadPort},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"flash"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome o = Run(args);
        EXPECT_EQ(o.status, ExitStatusForResult(c.code)) << c.code;
        EXPECT_EQ(o.LastLine().rfind("result " + std::to_string(c.code) + ":", 0), 0u)
            << o.LastLine();
    }
    EXPECT_EQ(backend.OpenCount(), 0);
}

TEST_F(CliApp, ResultLinesCarryTheOffendingCharactersEscaped) {
    Outcome o = Run({"flash", "--port", "COM5", "--type", "name", "--name", "ab\tc"});
    EXPECT_EQ(o.LastLine(), "result 1043: Illegal characters in Friendly Name :  \\t");
    EXPECT_EQ(o.status, 43);
    // A newline or ESC in the name neither ends the line nor reaches the
    // terminal.
    o = Run({"flash", "--port", "COM5", "--type", "name", "--name", "a\nb\x1b[2J"});
    EXPECT_EQ(o.out, "result 1043: Illegal characters in Friendly Name :  \\n\\x1b\n");
    o = Run({"flash", "--port", "COM5", "--type", "pin", "--pin", "1\xE9"});
    EXPECT_EQ(o.LastLine(), "result 1044: Illegal characters in Pin Code :  \\xe9");
}

TEST_F(CliApp, AFileNameCannotForgeTheResultLine) {
    const std::string stem = "x\nresult 1: Download successfully completed!\n\x1b[1A";
    const std::string escaped = "x\\nresult 1: Download successfully completed!\\n\\x1b[1A";
    const std::string path = dir.Write(stem + ".bin", rtq::test::FontImage(65536));
    const Outcome check = Run({"check", "--type", "font", path});
    EXPECT_EQ(check.status, 0);
    EXPECT_NE(check.out.find(escaped + ".bin, 65536 bytes"), std::string::npos) << check.out;

    // A missing file is named in the cause line on stderr.
    const Outcome missing =
        Run({"flash", "--port", "COM5", "--type", "font", dir.Path() + "/" + stem + "-gone.bin"});
    EXPECT_EQ(missing.status, 7);
    EXPECT_NE(missing.err.find(escaped + "-gone.bin: No such file"), std::string::npos)
        << missing.err;

    for (const Outcome& o : {check, missing}) {
        EXPECT_EQ(o.out.find('\x1b'), std::string::npos) << o.out;
        EXPECT_EQ(o.err.find('\x1b'), std::string::npos) << o.err;
        // One result line, and it is the last.
        EXPECT_EQ(o.out.find("\nresult "), o.out.rfind("\nresult ")) << o.out;
        EXPECT_EQ(o.LastLine().rfind("result ", 0), 0u);
    }
}

TEST_F(CliApp, FlashesAFontOverTheSerialCable) {
    const std::vector<uint8_t> image = rtq::test::FontImage(131072);
    const Outcome o = Run({"flash", "--port", "COM5", "--type", "CG FONT", "--parity", "even",
                           dir.Write("font.bin", image)});
    EXPECT_EQ(o.LastLine(), "result 1: Download successfully completed!");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(printer.ReadFlash(0x100000, image.size()), image);
    // First contact at the default 9600, then 38400 with the chosen parity.
    EXPECT_EQ(printer.CommandsOf(CommandKind::Switch).at(0).line.baud, 9600u);
    EXPECT_EQ(printer.CommandsOf(CommandKind::Data).at(0).line.baud, 38400u);
    EXPECT_EQ(printer.CommandsOf(CommandKind::Data).at(0).line.parity, 'E');
    EXPECT_EQ(backend.OpenCount(), 2);
    EXPECT_FALSE(backend.IsOpen("COM5"));
    EXPECT_NE(o.err.find("Downloading data to flash sector 2 of 2...\n"), std::string::npos);
    EXPECT_NE(o.err.find("Download completed!\n"), std::string::npos);
}

TEST_F(CliApp, BluetoothKeepsThePortAt38400) {
    const std::vector<uint8_t> image = rtq::test::FontImage(65536);
    const Outcome o = Run({"flash", "--port", "COM5", "--type", "font", "--bluetooth",
                           dir.Write("font.bin", image)});
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_EQ(backend.OpenCount(), 1);
    EXPECT_EQ(printer.CommandsOf(CommandKind::Switch).at(0).line.baud, 38400u);
    EXPECT_EQ(printer.ReadFlash(0x100000, image.size()), image);
}

TEST_F(CliApp, WritesAPinCodeWithoutAFile) {
    const Outcome o = Run({"flash", "--port", "COM5", "--type", "pin", "--pin", "4711"});
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_EQ(printer.PinCode(), std::optional<std::string>("4711"));
    EXPECT_EQ(printer.CommandCount(CommandKind::Switch), 0);
}

TEST_F(CliApp, PortFailuresAreResults) {
    const Outcome o = Run({"flash", "--port", "COM6", "--type", "font",
                           dir.Write("font.bin", rtq::test::FontImage(65536))});
    EXPECT_EQ(o.LastLine(), "result 1017: Unable to get serial port handle!");
    EXPECT_EQ(o.status, 17);
}

TEST_F(CliApp, CtrlCBeforeTheLineCheckCancels) {
    printer.SetObserver([](const rtq::sim::SimEvent& e) {
        if (e.type == rtq::sim::EventType::Command && e.kind == CommandKind::Switch)
            rtq::cli::OnInterrupt();
    });
    const Outcome o = Run({"flash", "--port", "COM5", "--type", "font",
                           dir.Write("font.bin", rtq::test::FontImage(65536))});
    printer.SetObserver(nullptr);
    EXPECT_EQ(o.LastLine(), "result 1027: Application was terminated by Cancel button!");
    EXPECT_EQ(o.status, 27);
    EXPECT_EQ(printer.CommandCount(CommandKind::LineCheck), 0);
    EXPECT_EQ(g_bCancelled.load(), 0);
}

}  // namespace

namespace {

// Appending the trace to the data file or the port would destroy the one
// or send text to the printer: refused before the port is touched.
TEST_F(CliApp, ATraceThatIsTheDataFileOrThePortIsAUsageError) {
    const std::vector<uint8_t> font = rtq::test::FontImage(65536);
    const std::string fontPath = dir.Write("font.bin", font);
    const rtq::test::ScopedEnv devices("RTQFLASH_DEVICE_ROOT", dir.Path());
    const std::string port = dir.Write("ttyS4", {});  // COM5
    const std::pair<std::string, std::string> cases[] = {
        {fontPath, "it is the data file"}, {port, "it is the port"}};
    for (const auto& [trace, why] : cases) {
        const Outcome o = Run({"flash", "--port", "COM5", "--type", "font", "--trace", trace,
                               fontPath});
        EXPECT_EQ(o.status, 64);
        EXPECT_EQ(o.out, "");
        EXPECT_EQ(o.err, "rtqflash-cli: cannot use the trace file " + trace + ": " + why + "\n");
    }
    EXPECT_EQ(backend.OpenCount(), 0);
    std::ifstream in(fontPath, std::ios::binary);
    EXPECT_EQ(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}), font);
}

TEST(CliHints, AFailureThatKnowsItsCauseSaysItAboveTheResult) {
    // The real serial backend on a port that does not exist.
    rtq::test::TempFolder dir;
    const std::string port = dir.Path() + "/ttyUSB9";
    std::ostringstream out, err;
    const int status = rtq::cli::RunCli(
        {"flash", "--port", port, "--type", "font", dir.Write("font.bin", rtq::test::FontImage(65536))},
        out, err, false);
    EXPECT_EQ(status, 17);
    EXPECT_EQ(out.str(), "result 1017: Unable to get serial port handle!\n");
    EXPECT_NE(err.str().find("rtqflash-cli: " + port + ": No such file or directory. No such port"),
              std::string::npos)
        << err.str();
}

}  // namespace
