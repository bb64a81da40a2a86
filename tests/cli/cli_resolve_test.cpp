// The --type and --port texts.

#include <gtest/gtest.h>

#include "cli/download_type.h"
#include "cli/port_name.h"
#include "engine/result_codes.h"
#include "ports/device_names.h"

namespace {

using rtq::cli::DownloadType;
using rtq::cli::ResolveDownloadType;
using rtq::cli::ResolvePort;

TEST(CliType, DisplayNamesInAnyCaseAndShortNames) {
    struct Case {
        const char* text;
        DownloadKind kind;
        int32_t first;
        const char* name;
    };
    const Case cases[] = {
        {"MAIN FIRMWARE", DownloadKind::MainFirmware, 6, "MAIN FIRMWARE"},
        {"main firmware", DownloadKind::MainFirmware, 6, "MAIN FIRMWARE"},
        {"main", DownloadKind::MainFirmware, 6, "MAIN FIRMWARE"},
        {"Ipl Firmware", DownloadKind::IplFirmware, 4, "IPL FIRMWARE"},
        {"IPL", DownloadKind::IplFirmware, 4, "IPL FIRMWARE"},
        {"cg font", DownloadKind::Font, 20, "CG FONT"},
        {"font", DownloadKind::Font, 20, "CG FONT"},
        {"pin code", DownloadKind::PinCode, 4, "PIN CODE"},
        {"pin", DownloadKind::PinCode, 4, "PIN CODE"},
        {"Friendly Name", DownloadKind::FriendlyName, 4, "FRIENDLY NAME"},
        {"name", DownloadKind::FriendlyName, 4, "FRIENDLY NAME"},
    };
    for (const Case& c : cases) {
        DownloadType t;
        ASSERT_EQ(ResolveDownloadType(c.text, false, &t), kResultSuccess) << c.text;
        EXPECT_EQ(t.kind, c.kind) << c.text;
        EXPECT_EQ(t.firstSector, c.first) << c.text;
        EXPECT_EQ(t.displayName, c.name) << c.text;
    }
}

TEST(CliType, UnknownTextsAndIplOverBluetooth) {
    DownloadType t;
    for (const char* text : {"", "FONT ", "CGFONT", "M", "firmware", "CG  FONT"})
        EXPECT_EQ(ResolveDownloadType(text, false, &t), kResultBadDownloadType) << text;
    EXPECT_EQ(ResolveDownloadType("ipl", true, &t), kResultBadDownloadType);
    EXPECT_EQ(ResolveDownloadType("IPL FIRMWARE", true, &t), kResultBadDownloadType);
    EXPECT_EQ(ResolveDownloadType("main", true, &t), kResultSuccess);
}

TEST(CliPort, ComNamesAndDevicePaths) {
    std::string path;
    ASSERT_EQ(ResolvePort("COM1", &path), kResultSuccess);
    EXPECT_EQ(path, "\\\\.\\COM1");
    ASSERT_EQ(ResolvePort("com64", &path), kResultSuccess);
    EXPECT_EQ(path, "\\\\.\\COM64");
    ASSERT_EQ(ResolvePort("/dev/ttyUSB0", &path), kResultSuccess);
    EXPECT_EQ(path, "/dev/ttyUSB0");
    ASSERT_EQ(ResolvePort("./pty", &path), kResultSuccess);
    EXPECT_EQ(path, "./pty");
    ASSERT_EQ(ResolvePort("\\\\.\\cOm17", &path), kResultSuccess);
    EXPECT_EQ(path, "\\\\.\\COM17");
    // Names that only look like COM names are device paths.
    for (const char* device : {"COM", "COM1x", "COM-1", "XCOM1", "COM 1"}) {
        ASSERT_EQ(ResolvePort(device, &path), kResultSuccess) << device;
        EXPECT_EQ(path, device);
    }
}

TEST(CliPort, OnlyTheListsSpellingNamesAPort) {
    // The port list writes COM1 to COM64 without leading zeros; other
    // numbers are refused rather than read as some other port or as a
    // file of that name.
    std::string path;
    for (const char* bad : {"", "COM0", "COM65", "COM05", "com017", "COM00", "COM100",
                            "\\\\.\\COM05", "COM99999999999999999999"})
        EXPECT_EQ(ResolvePort(bad, &path), kResultBadPort) << bad;
    // The device the serial backend opens for a refused name is never the
    // port's either.
    EXPECT_EQ(rtq::DevicePathForPort("COM05"), "COM05");
    EXPECT_EQ(rtq::DevicePathForPort("COM65"), "COM65");
    EXPECT_EQ(rtq::ComPortNumber("COM05"), -1);
    EXPECT_EQ(rtq::ComPortNumber("COM65"), -1);
    EXPECT_EQ(rtq::ComPortNumber("/dev/ttyS0"), 0);
}

}  // namespace
