#include "cli/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace rtq::cli {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

std::atomic<const CliProgressWindow*> g_window{nullptr};
std::atomic<bool> g_endRequested{false};
struct sigaction g_previous[kSignalCount];
int g_guards = 0;  // only the outermost guard takes and gives back

extern "C" void Handler(int) {
    const int saved = errno;
    OnInterrupt();
    errno = saved;
}

void WriteNote(const char* text, size_t len) {
    // Only async-signal-safe calls here.
    const ssize_t ignored = write(STDERR_FILENO, text, len);
    (void)ignored;
}

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
        WriteNote(kNote, sizeof kNote - 1);
    } else if (window && window->ProgressOpened()) {
        static const char kNote[] =
            "\nThis step cannot be interrupted; please wait for the result.\n";
        WriteNote(kNote, sizeof kNote - 1);
    } else {
        static const char kNote[] =
            "\nThe run is cancelled if it can be, else finished; please wait for the result.\n";
        WriteNote(kNote, sizeof kNote - 1);
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
    struct sigaction action {};
    action.sa_handler = Handler;
    sigemptyset(&action.sa_mask);
    // Calls the handler interrupts go on; the port's own calls retry on
    // EINTR as well.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < kSignalCount; ++i) {
        sigaction(kSignals[i], nullptr, &g_previous[i]);
        if (g_previous[i].sa_handler != SIG_IGN) sigaction(kSignals[i], &action, nullptr);
    }
}

InterruptGuard::~InterruptGuard() {
    if (m_ownsWindow) g_window = nullptr;
    if (--g_guards > 0) return;
    for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
    g_endRequested = false;
}

InterruptTarget::InterruptTarget(const CliProgressWindow* window) { g_window = window; }

InterruptTarget::~InterruptTarget() { g_window = nullptr; }

}  // namespace rtq::cli
