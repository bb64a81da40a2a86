#include "cli/end_signals.h"

#include <windows.h>

#include <cstdio>

namespace rtq::cli {

namespace {

BOOL WINAPI Handler(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    OnInterrupt();
    return TRUE;  // handled: the run goes on to report its result
}

}  // namespace

void InstallEndHandlers() { SetConsoleCtrlHandler(Handler, TRUE); }

void RestoreEndHandlers() { SetConsoleCtrlHandler(Handler, FALSE); }

void WriteInterruptNote(const char* text, std::size_t len) {
    // The console calls its handler on a thread of its own, so ordinary
    // output is safe here.
    std::fwrite(text, 1, len, stderr);
    std::fflush(stderr);
}

}  // namespace rtq::cli
