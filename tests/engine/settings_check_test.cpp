#include "engine/settings_check.h"

#include <gtest/gtest.h>

#include "engine/result_codes.h"

namespace {

TEST(SettingsCheck, ParityIsUpperCasedAndMustBeListed) {
    std::string parity;
    EXPECT_EQ(CheckParity("none", &parity), kResultSuccess);
    EXPECT_EQ(parity, "NONE");
    EXPECT_EQ(CheckParity("Odd", &parity), kResultSuccess);
    EXPECT_EQ(parity, "ODD");
    EXPECT_EQ(CheckParity("EVEN"), kResultSuccess);
    EXPECT_EQ(CheckParity("MARK"), kResultBadParity);
    EXPECT_EQ(CheckParity(""), kResultBadParity);
    EXPECT_EQ(CheckParity("NONE "), kResultBadParity);
}

TEST(SettingsCheck, BaudRatesOfTheList) {
    int32_t baud = 0;
    for (const char* text : {"115200", "57600", "38400", "19200", "9600", "4800", "2400", "1200"}) {
        EXPECT_EQ(CheckBaudRate(text, &baud), kResultSuccess) << text;
        EXPECT_EQ(baud, std::stoi(text));
    }
    for (const char* text : {"", "300", "9601", "09600", " 9600", "96OO", "-9600"})
        EXPECT_EQ(CheckBaudRate(text), kResultBadBaud) << text;
}

TEST(SettingsCheck, StopBits) {
    int32_t stop = 0;
    EXPECT_EQ(CheckStopBits("2", &stop), kResultSuccess);
    EXPECT_EQ(stop, 2);
    EXPECT_EQ(CheckStopBits("1", &stop), kResultSuccess);
    EXPECT_EQ(stop, 1);
    for (const char* text : {"", "0", "1.5", "3", "12"})
        EXPECT_EQ(CheckStopBits(text), kResultBadStopBits) << text;
}

TEST(SettingsCheck, FriendlyNameIsPrintableSevenBit) {
    EXPECT_EQ(CheckFriendlyNameChars(""), kResultSuccess);
    EXPECT_EQ(CheckFriendlyNameChars(" ~Printer 1"), kResultSuccess);
    EXPECT_EQ(CheckFriendlyNameChars("ab\tc"), kResultBadFriendlyName);
    EXPECT_EQ(CheckFriendlyNameChars("x\x7F"), kResultBadFriendlyName);
    EXPECT_EQ(CheckFriendlyNameChars("caf\xC3\xA9"), kResultBadFriendlyName);
}

TEST(SettingsCheck, PinCodeIsSevenBitControlCharactersIncluded) {
    EXPECT_EQ(CheckPinCodeChars(""), kResultSuccess);
    EXPECT_EQ(CheckPinCodeChars("12\t\x7F"), kResultSuccess);
    EXPECT_EQ(CheckPinCodeChars("12\x80"), kResultBadPinCode);
    EXPECT_EQ(CheckPinCodeChars("\xE9\xE9"), kResultBadPinCode);
}

TEST(SettingsCheck, ExtensionAfterTheFirstDot) {
    EXPECT_EQ(CheckFileExtension("code.mfw", DownloadKind::MainFirmware), kResultSuccess);
    EXPECT_EQ(CheckFileExtension("CODE.MFWX", DownloadKind::MainFirmware), kResultSuccess);
    EXPECT_EQ(CheckFileExtension("font.Bin", DownloadKind::Font), kResultSuccess);
    EXPECT_EQ(CheckFileExtension("boot.ipl", DownloadKind::IplFirmware), kResultSuccess);

    EXPECT_EQ(CheckFileExtension("CODE.BIN", DownloadKind::MainFirmware), kResultBadDataFile);
    EXPECT_EQ(CheckFileExtension("A.B.MFW", DownloadKind::MainFirmware), kResultBadDataFile);
    EXPECT_EQ(CheckFileExtension("code.mf", DownloadKind::MainFirmware), kResultBadDataFile);
    EXPECT_EQ(CheckFileExtension("code.mfwxy", DownloadKind::MainFirmware), kResultBadDataFile);
    EXPECT_EQ(CheckFileExtension("BINARY FILE", DownloadKind::Font), kResultBadDataFile);
    EXPECT_EQ(CheckFileExtension("", DownloadKind::Font), kResultBadDataFile);
    EXPECT_EQ(CheckFileExtension("pin.pin", DownloadKind::PinCode), kResultBadDataFile);
}

}  // namespace
