#include "cli/interrupt.h"

#include <atomic>

#include "cli/end_signals.h"

namespace rtq::cli {

namespace {

std::atomic<const CliProgressWindow*> g_window{nullptr};
std::atomic<bool> g_endRequested{false};
int g_guards = 0;  // only the outermost guard takes and gives back

}  // namespace

void OnInterrupt() {
    static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
    static_assert(std::atomic<const CliProgressWindow*>::is_always_lock_free,
                  "read from a signal handler");
    // Stored before the window is looked at, while the window sets its
    // Cancel before it looks at the request: one of the two sees the other.
    g_endRequested = true;
    const CliProgressWindow* window = g_window.load();
    if (window && window->CancelIfOffered()) {
        static const char kNote[] = "\nCancelling...\n";
        WriteInterruptNote(kNote, sizeof kNote - 1);
    } else if (window && window->ProgressOpened()) {
        static const char kNote[] =
            "\nThis step cannot be interrupted; please wait for the result.\n";
        WriteInterruptNote(kNote, sizeof kNote - 1);
    } else {
        static const char kNote[] =
            "\nThe run is cancelled if it can be, else finished; please wait for the result.\n";
        WriteInterruptNote(kNote, sizeof kNote - 1);
    }
}

bool EndRequested() { return g_endRequested.load(); }

InterruptGuard::InterruptGuard(const CliProgressWindow* window) {
    if (window) {
        g_window = window;
        m_ownsWindow = true;
    }
    if (g_guards++ > 0) return;
    g_endRequested = false;
    InstallEndHandlers();
}

InterruptGuard::~InterruptGuard() {
    if (m_ownsWindow) g_window = nullptr;
    if (--g_guards > 0) return;
    RestoreEndHandlers();
    g_endRequested = false;
}

InterruptTarget::InterruptTarget(const CliProgressWindow* window) { g_window = window; }

InterruptTarget::~InterruptTarget() { g_window = nullptr; }

}  // namespace rtq::cli
