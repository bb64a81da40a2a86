#include "cli/win32/console_interrupt.h"

#include <windows.h>

#include <atomic>

namespace rtq::cli {

namespace {

std::atomic<void (*)()> g_onInterrupt{nullptr};

BOOL WINAPI Handler(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    if (auto fn = g_onInterrupt.load()) fn();
    return TRUE;  // handled: the run goes on to report its result
}

}  // namespace

bool InstallConsoleInterrupt(void (*onInterrupt)()) {
    g_onInterrupt = onInterrupt;
    return SetConsoleCtrlHandler(Handler, TRUE) != 0;
}

void RemoveConsoleInterrupt() {
    SetConsoleCtrlHandler(Handler, FALSE);
    g_onInterrupt = nullptr;
}

}  // namespace rtq::cli
