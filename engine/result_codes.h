#pragma once
// Result codes of a run and their messages: the one table the command
// line and the GUI both show from.

#include <string>

constexpr int kResultSuccess = 1;
constexpr int kResultNone = -1;  // nothing reported

// Failure codes raised by the engine and the settings checks.
constexpr int kResultEraseFailed = 1001;
constexpr int kResultSelectFailed = 1002;
constexpr int kResultDataTimeout = 1003;
constexpr int kResultChecksumQueryFailed = 1004;
constexpr int kResultChecksumMismatch = 1005;
constexpr int kResultRecalculateFailed = 1006;
constexpr int kResultFileOpenFailed = 1007;
constexpr int kResultNoBlockMemory = 1008;
constexpr int kResultLineBusy = 1009;
constexpr int kResultSwitchFailed = 1010;
constexpr int kResultResetFailed = 1011;
constexpr int kResultBadDownloadType = 1012;
constexpr int kResultBadPort = 1013;
constexpr int kResultBadParity = 1014;
constexpr int kResultBadBaud = 1015;
constexpr int kResultBadStopBits = 1016;
constexpr int kResultPortOpenFailed = 1017;
constexpr int kResultPortConfigFailed = 1018;
constexpr int kResultBadDataFile = 1020;
constexpr int kResultOutOfMemory = 1025;  // a run's objects could not be made
constexpr int kResultCancelled = 1027;
constexpr int kResultUsbOpenFailed = 1038;
constexpr int kResultUsbDeviceIdFailed = 1039;
constexpr int kResultUsbStatusFailed = 1040;
constexpr int kResultWrongPrinter = 1041;
constexpr int kResultWrongFile = 1042;
constexpr int kResultBadFriendlyName = 1043;
constexpr int kResultBadPinCode = 1044;

// The fixed message of a code, or nullptr when the code has none. For
// 1039, 1043 and 1044 the text depends on the moment: see ResultText.
const char* ResultMessage(int code);

// The text shown for a code; *shown is false for codes without a message. 1039 takes lastErrorText, 1043
// appends the friendly name's characters outside 0x20..0x7E, 1044 the PIN
// code's characters of 0x80 and above.
std::string ResultText(int code, const std::string& lastErrorText,
                       const std::string& friendlyName,
                       const std::string& pinCode, bool* shown);

// The process exit status for the last reported result: 1 gives 0, 1001
// to 1254 give code - 1000, anything else (-1 included) gives 255.
int ExitStatusForResult(int code);

constexpr int kExitUsage = 64;
