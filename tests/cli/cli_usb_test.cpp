// rtqflash-cli over USB in process: the opening steps, and whole runs with
// the real USB send and receive threads against the simulated printer
// behind a fake USB device, on a fast clock.

#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli_app.h"
#include "engine/run_settings.h"
#include "platform/clock.h"
#include "ports/port_state.h"
#include "sim/sim_printer.h"
#include "tests/engine/temp_files.h"
#include "tests/support/fake_usb_backend.h"

namespace {

using rtq::sim::CommandKind;

class CliUsb : public ::testing::Test {
protected:
    CliUsb() {
        // The printer hears every chunk at once and its answer is waiting
        // for the receive thread right after.
        usb.SetWriteHook([this](const std::vector<uint8_t>& bytes) {
            printer.Receive(bytes);
            std::vector<uint8_t> answer(printer.OutputAvailable());
            printer.TakeOutput(answer.data(), answer.size());
            if (!answer.empty()) usb.PushInput(answer);
        });
    }
    ~CliUsb() override {
        g_strPinCode.clear();
        g_bPinCodeRun = 0;
        g_bUsbLink = 0;
    }

    struct Outcome {
        int status;
        std::string out;
        std::string err;
    };
    Outcome Run(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        const int status = rtq::cli::RunCli(args, out, err, false);
        return {status, out.str(), err.str()};
    }

    // 200 times faster than real time: a font run's 25 s of pauses take
    // a fraction of a second, while the threads still take turns.
    rtq::ScaledClock clock{200};
    rtq::ScopedClock scopedClock{clock};
    rtq::sim::SimPrinter printer;
    rtq::test::FakeUsbBackend usb;
    rtq::test::ScopedUsbBackend scopedUsb{usb};
    rtq::test::TempFolder dir;
};

TEST_F(CliUsb, UsbTakesNoLineSettings) {
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{"--port", ""}, {"--bluetooth"}, {"--baud", "9600"},
          {"--parity", "odd"}, {"--stop-bits", "2"}, {"--bluetooth", "--port", "A1"}}) {
        std::vector<std::string> args{"flash", "--usb", "--type", "pin", "--pin", "1"};
        args.insert(args.end(), extra.begin(), extra.end());
        const Outcome o = Run(args);
        EXPECT_EQ(o.status, 64) << extra[0];
    }
    EXPECT_EQ(Run({"check", "--usb", "--type", "font", "f.bin"}).status, 64);
    EXPECT_EQ(usb.FindCount(), 0);
}

TEST_F(CliUsb, OpeningStepsFailWithTheirCodes) {
    const std::string file = dir.Write("font.bin", rtq::test::FontImage(65536));
    usb.SetDeviceFound(false);
    Outcome o = Run({"flash", "--usb", "--type", "font", file});
    EXPECT_EQ(o.status, 38);
    EXPECT_NE(o.out.find("result 1038: Unable to open USB Port!"), std::string::npos);

    usb.SetDeviceFound(true);
    usb.SetDeviceIdResult(false);
    o = Run({"flash", "--usb", "--type", "font", file});
    EXPECT_EQ(o.status, 39);
    usb.SetDeviceIdResult(true);
    usb.SetPortStatusResult(false);
    o = Run({"flash", "--usb", "--type", "font", file});
    EXPECT_EQ(o.status, 40);
    // Every device that was opened was closed again, and nothing was sent.
    EXPECT_EQ(usb.OpenHandle(), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(usb.Writes().empty());
}

TEST_F(CliUsb, FlashesAFontThroughTheReceiveThread) {
    const std::vector<uint8_t> image = rtq::test::FontImage(131072);
    const Outcome o = Run({"flash", "--usb", "--type", "font", dir.Write("font.bin", image)});
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_NE(o.out.find("result 1: Download successfully completed!"), std::string::npos);
    EXPECT_EQ(printer.ReadFlash(0x100000, image.size()), image);
    EXPECT_NE(o.err.find("Downloading data to flash sector 2 of 2...\n"), std::string::npos);
    // One reply read at a time, and the device closed at the end.
    EXPECT_EQ(usb.MaxConcurrentReads(), 1);
    EXPECT_EQ(usb.OpenHandle(), INVALID_HANDLE_VALUE);
}

TEST_F(CliUsb, ReconnectsAfterAnUnplugDuringTheData) {
    const std::vector<uint8_t> image = rtq::test::FontImage(65536);
    // The chunk after the data frame's first meets an unplugged printer;
    // the reconnection opens it again and that chunk goes out once more.
    bool pulled = false;
    usb.SetWriteHook([&](const std::vector<uint8_t>& bytes) {
        if (!pulled && bytes.size() == 4096) {
            pulled = true;
            usb.ScriptWriteResults({rtq::UsbWriteStatus::InvalidHandle});
        }
        printer.Receive(bytes);
        std::vector<uint8_t> answer(printer.OutputAvailable());
        printer.TakeOutput(answer.data(), answer.size());
        if (!answer.empty()) usb.PushInput(answer);
    });
    const Outcome o = Run({"flash", "--usb", "--type", "font", dir.Write("font.bin", image)});
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_EQ(printer.ReadFlash(0x100000, image.size()), image);
    EXPECT_EQ(usb.OpenCount(), 2);
}

TEST_F(CliUsb, PortNamesThePrinterForTheRunAndItsReconnection) {
    const std::vector<uint8_t> image = rtq::test::FontImage(65536);
    bool pulled = false;
    usb.SetWriteHook([&](const std::vector<uint8_t>& bytes) {
        if (!pulled && bytes.size() == 4096) {
            pulled = true;
            usb.ScriptWriteResults({rtq::UsbWriteStatus::InvalidHandle});
        }
        printer.Receive(bytes);
        std::vector<uint8_t> answer(printer.OutputAvailable());
        printer.TakeOutput(answer.data(), answer.size());
        if (!answer.empty()) usb.PushInput(answer);
    });
    // A serial number that reads as a Bluetooth address is still a USB one.
    const std::string serial = "00:AA:01:01:00:01";
    Outcome o = Run({"flash", "--usb", "--port", serial, "--type", "font",
                     dir.Write("font.bin", image)});
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_EQ(usb.OpenCount(), 2);
    EXPECT_EQ(usb.WantedSeen(), std::vector<std::string>(2, serial));
    // Without --port a later run takes the first printer again.
    o = Run({"flash", "--usb", "--type", "pin", "--pin", "1"});
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_EQ(usb.WantedSeen().back(), "");

    usb.SetDeviceFound(false);
    o = Run({"flash", "--usb", "--port", "/dev/usb/lp1", "--type", "pin", "--pin", "1"});
    EXPECT_EQ(o.status, 38);
    EXPECT_EQ(usb.WantedSeen().back(), "/dev/usb/lp1");
    EXPECT_EQ(rtq::WantedUsbPrinter(), "");
}

TEST_F(CliUsb, WritesAPinCode) {
    const Outcome o = Run({"flash", "--usb", "--type", "pin", "--pin", "4711"});
    EXPECT_EQ(o.status, 0) << o.out << o.err;
    EXPECT_EQ(printer.PinCode(), std::optional<std::string>("4711"));
}

}  // namespace
