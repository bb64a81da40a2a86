#pragma once
// The settings checks a run must pass before it starts, shared by FLASH
// NOW and the command line. Each returns 1 or the result code of the
// failure.

#include <cstdint>
#include <string>

#include "engine/model_table.h"

// The lengths the dialog's edit boxes admit.
constexpr size_t kMaxPinCodeLength = 16;
constexpr size_t kMaxFriendlyNameLength = 32;

// Parity "NONE", "ODD" or "EVEN" (upper-cased before the comparison):
// 1 or 1014. The accepted text, upper-cased, goes to *parity.
int CheckParity(const std::string& text, std::string* parity = nullptr);
// Baud rate 115200, 57600, 38400, 19200, 9600, 4800, 2400 or 1200: 1 or 1015.
int CheckBaudRate(const std::string& text, int32_t* baud = nullptr);
// Stop bits "1" or "2": 1 or 1016.
int CheckStopBits(const std::string& text, int32_t* stopBits = nullptr);

// Every character from 0x20 to 0x7E: 1 or 1043.
int CheckFriendlyNameChars(const std::string& name);
// Every character below 0x80: 1 or 1044.
int CheckPinCodeChars(const std::string& pin);

// The extension rule on a file name without its folder, upper-cased: after
// the first "." come 3 or 4 characters whose first three are the kind's
// extension. 1 or 1020 (also for a kind that needs no file).
int CheckFileExtension(const std::string& fileName, DownloadKind kind);
