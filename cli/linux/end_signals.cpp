#include "cli/end_signals.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>


namespace rtq::cli {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

struct sigaction g_previous[kSignalCount];

extern "C" void Handler(int) {
    const int saved = errno;
    OnInterrupt();
    errno = saved;
}

}  // namespace

void InstallEndHandlers() {
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

void RestoreEndHandlers() {
    for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
}

void WriteInterruptNote(const char* text, std::size_t len) {
    // Called from the signal handler: only async-signal-safe calls here.
    const ssize_t ignored = write(STDERR_FILENO, text, len);
    (void)ignored;
}

}  // namespace rtq::cli
