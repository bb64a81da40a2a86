// The cause line under a failure's message: the device or file and the
// system's reason, and what to do; nothing where the cause is not known.

#include "engine/failure_hint.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "engine/port_advice.h"
#include "engine/result_codes.h"
#include "platform/error_numbers.h"

namespace {

rtq::LastError Error(int err, const std::string& path) { return {std::strerror(err), err, path}; }

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(FailureHint, SerialPortSaysWhichDeviceAndWhatToDo) {
    const std::string denied = FailureHint(kResultPortOpenFailed, Error(EACCES, "/dev/ttyUSB0"));
    EXPECT_TRUE(Has(denied, "/dev/ttyUSB0: Permission denied.")) << denied;
    EXPECT_TRUE(Has(denied, "dialout")) << denied;
    EXPECT_TRUE(Has(FailureHint(kResultPortOpenFailed, Error(EBUSY, "/dev/ttyS0")),
                    "Another program has the port open"));
    EXPECT_TRUE(Has(FailureHint(kResultPortOpenFailed, Error(ENOENT, "/dev/rfcomm0")),
                    "No such port"));
    // An unusual reason is still named.
    EXPECT_EQ(FailureHint(kResultPortOpenFailed, Error(EIO, "/dev/ttyS1")),
              "/dev/ttyS1: Input/output error.");
}

// A printer named by its Bluetooth address: each reason the radio or BlueZ
// gives says what to do, distinct from a tty's.
TEST(FailureHint, BluetoothPrinterSaysWhatToDo) {
    const std::string addr = "00:AA:01:01:00:01";
    const struct {
        int err;
        const char* advice;
    } cases[] = {
        {rtq::kErrnoHostDown, "out of reach or switched off"},
        {ECONNREFUSED, "no serial port service"},
        {EACCES, "requires a secure pairing"},
        {EBUSY, "Another program is connected to the printer"},
        {EHOSTUNREACH, "Bluetooth is off or this computer has no Bluetooth adapter"},
        {EAFNOSUPPORT, "Bluetooth is off"},
    };
    for (const auto& c : cases) {
        const std::string hint = FailureHint(kResultPortOpenFailed, Error(c.err, addr));
        EXPECT_EQ(hint.rfind(addr + ": " + std::strerror(c.err) + ".", 0), 0u) << hint;
        EXPECT_TRUE(Has(hint, c.advice)) << hint;
        EXPECT_FALSE(Has(hint, "dialout")) << hint;
    }
    // A name no paired printer has.
    EXPECT_TRUE(Has(FailureHint(kResultPortOpenFailed, Error(rtq::kErrnoNoKey, "RTQ-P1")),
                    "Pair the printer"));
    // The printer resetting the link mid-run.
    EXPECT_TRUE(Has(FailureHint(kResultDataTimeout, Error(ECONNRESET, "")), "went away"));
}

TEST(FailureHint, UsbTellsMissingPrinterFromOneThatCannotBeOpened) {
    const std::string none = FailureHint(kResultUsbOpenFailed, Error(ENODEV, ""));
    EXPECT_TRUE(Has(none, "No printer with a known USB id")) << none;
    const std::string denied = FailureHint(kResultUsbOpenFailed, Error(EACCES, "/dev/usb/lp0"));
    EXPECT_TRUE(Has(denied, "/dev/usb/lp0: Permission denied.")) << denied;
    // In the system's terms (Linux: the lp group).
    EXPECT_TRUE(Has(denied, UsbAccessAdvice())) << denied;
    EXPECT_TRUE(Has(FailureHint(kResultUsbOpenFailed, Error(EBUSY, "/dev/usb/lp1")),
                    "another program has it open"));
    EXPECT_TRUE(Has(FailureHint(kResultUsbDeviceIdFailed, Error(ENODEV, "/dev/usb/lp0")),
                    "went away"));
}

TEST(FailureHint, DataFileNeedsTheFileThatFailed) {
    EXPECT_TRUE(Has(FailureHint(kResultFileOpenFailed, Error(ENOENT, "/tmp/a.bin")),
                    "/tmp/a.bin: No such file or directory."));
    EXPECT_EQ(FailureHint(kResultFileOpenFailed, Error(EISDIR, "/tmp")),
              "/tmp: not a regular file. Pick a data file.");
    // An error of something else is not the file's cause.
    EXPECT_EQ(FailureHint(kResultFileOpenFailed, Error(EIO, "")), "");
}

TEST(FailureHint, FileRuleSaysWhichRule) {
    EXPECT_EQ(FailureHint(kResultBadDataFile, rtq::LastError{"The file is empty.", 0, ""}),
              "The file is empty.");
    EXPECT_EQ(FailureHint(kResultBadDataFile, Error(EIO, "/dev/ttyS0")), "");
}

// The port vanishing mid-run gets its cause; a printer that answered NAK
// (no error number) keeps the message alone, and an unrelated reason adds
// nothing.
TEST(FailureHint, ALinkThatWentAwayMidRunSaysSo) {
    for (const int err : {EIO, ENXIO, ENODEV}) {
        const std::string hint = FailureHint(kResultDataTimeout, Error(err, ""));
        EXPECT_EQ(hint.rfind(std::string(std::strerror(err)) + ". The adapter or printer went away",
                             0),
                  0u)
            << hint;
    }
    EXPECT_TRUE(Has(FailureHint(kResultEraseFailed, Error(EIO, "")), "went away"));
    EXPECT_TRUE(Has(FailureHint(kResultSwitchFailed, Error(ENODEV, "/dev/usb/lp0")),
                    "/dev/usb/lp0: No such device. The adapter or printer went away"));
    EXPECT_EQ(FailureHint(kResultDataTimeout, rtq::LastError{}), "");
    EXPECT_EQ(FailureHint(kResultEraseFailed, Error(EINVAL, "")), "");
}

TEST(FailureHint, NothingWithoutAKnownCause) {
    EXPECT_EQ(FailureHint(kResultPortOpenFailed, rtq::LastError{"text only", 0, ""}), "");
    EXPECT_EQ(FailureHint(kResultChecksumMismatch, Error(EIO, "/dev/ttyS0")), "");
    EXPECT_EQ(FailureHint(kResultSuccess, Error(EACCES, "/dev/ttyS0")), "");
}

}  // namespace
