#pragma once
// Ctrl-C and Ctrl-Break in the console, kept apart from <windows.h>.

namespace rtq::cli {

// Routes both to onInterrupt (called on the console's own thread); false
// when the console refused.
bool InstallConsoleInterrupt(void (*onInterrupt)());
void RemoveConsoleInterrupt();

}  // namespace rtq::cli
