#include "cli/interrupt.h"

#include <atomic>
#include <cstdio>

#include "cli/win32/console_interrupt.h"
#include "ports/port_state.h"

namespace rtq::cli {

namespace {

std::atomic<const CliProgressWindow*> g_window{nullptr};

// The console calls its handler on a thread of its own, so ordinary
// output is safe here.
void WriteNote(const char* text) {
    std::fputs(text, stderr);
    std::fflush(stderr);
}

}  // namespace

void OnInterrupt() {
    const CliProgressWindow* window = g_window.load();
    if (window && window->CancelAllowed()) {
        g_bCancelled = 1;
        WriteNote("\nCancelling...\n");
    } else {
        WriteNote("\nThis step cannot be interrupted; please wait for the result.\n");
    }
}

InterruptGuard::InterruptGuard(const CliProgressWindow* window) {
    g_window = window;
    m_installed = InstallConsoleInterrupt(OnInterrupt);
}

InterruptGuard::~InterruptGuard() {
    if (m_installed) RemoveConsoleInterrupt();
    g_window = nullptr;
}

}  // namespace rtq::cli
