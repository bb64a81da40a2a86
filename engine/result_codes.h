#pragma once
// Result codes of a run and their messages: the one table the command
// line and the GUI both show from.

#include <string>

constexpr int kResultSuccess = 1;
constexpr int kResultNone = -1;  // nothing reported

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
