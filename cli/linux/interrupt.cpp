#include "cli/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "ports/port_state.h"

namespace rtq::cli {

namespace {

std::atomic<const CliProgressWindow*> g_window{nullptr};
struct sigaction g_previous {};

void Handler(int) { OnInterrupt(); }

void WriteNote(const char* text, size_t len) {
    // Only async-signal-safe calls here.
    const ssize_t ignored = write(STDERR_FILENO, text, len);
    (void)ignored;
}

}  // namespace

void OnInterrupt() {
    const CliProgressWindow* window = g_window.load();
    if (window && window->CancelAllowed()) {
        g_bCancelled = 1;
        static const char kNote[] = "\nCancelling...\n";
        WriteNote(kNote, sizeof kNote - 1);
    } else {
        static const char kNote[] =
            "\nThis step cannot be interrupted; please wait for the result.\n";
        WriteNote(kNote, sizeof kNote - 1);
    }
}

InterruptGuard::InterruptGuard(const CliProgressWindow* window) {
    static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");
    g_window = window;
    struct sigaction action {};
    action.sa_handler = Handler;
    sigemptyset(&action.sa_mask);
    m_installed = sigaction(SIGINT, &action, &g_previous) == 0;
}

InterruptGuard::~InterruptGuard() {
    if (m_installed) sigaction(SIGINT, &g_previous, nullptr);
    g_window = nullptr;
}

}  // namespace rtq::cli
