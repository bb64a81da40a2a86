// A serial port that cannot be opened on Windows: the operator reads the
// device, the system's own reason and what to do in Windows terms.

#include <gtest/gtest.h>

#include <cerrno>

#include "engine/failure_hint.h"
#include "engine/result_codes.h"
#include "platform/last_error.h"
#include "ports/win32/win32_serial_backend.h"

namespace {

TEST(WindowsPortHint, AMissingPortNamesTheDeviceTheSystemsReasonAndDeviceManager) {
    // COM64 is no port under Wine or on a test machine.
    rtq::Win32SerialBackend backend;
    EXPECT_EQ(backend.Open("COM64"), INVALID_HANDLE_VALUE);
    const rtq::LastError e = rtq::LastErrorDetails();
    EXPECT_EQ(e.number, ENOENT);
    ASSERT_FALSE(e.text.empty());
    EXPECT_EQ(e.text.rfind("error ", 0), std::string::npos) << "no system text: " << e.text;

    const std::string hint = FailureHint(kResultPortOpenFailed, e);
    EXPECT_EQ(hint.rfind("\\\\.\\COM64: " + e.text + ". No such port", 0), 0u) << hint;
    EXPECT_NE(hint.find("Device Manager"), std::string::npos) << hint;
}

TEST(WindowsPortHint, APortInUseSaysAnotherProgramHasIt) {
    const std::string hint =
        FailureHint(kResultPortOpenFailed, rtq::LastError{"Access denied", EBUSY, "\\\\.\\COM3"});
    EXPECT_EQ(hint, "\\\\.\\COM3: Access denied. Another program has the port open: close it and "
                    "try again.");
    EXPECT_NE(FailureHint(kResultPortOpenFailed, rtq::LastError{"Access denied", EACCES, "x"})
                  .find("administrator"),
              std::string::npos);
}

}  // namespace
