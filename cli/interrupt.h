#pragma once
// Ctrl-C during a command-line run: it cancels the run like the progress
// dialog's Cancel button while cancelling is allowed (until the line check
// passed), and is refused once the printer is being written.

#include "cli/progress_window.h"

namespace rtq::cli {

// Routes SIGINT to the window's cancel state for the object's lifetime.
class InterruptGuard {
public:
    explicit InterruptGuard(const CliProgressWindow* window);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    bool m_installed = false;
};

// What a SIGINT does now; public so that tests need not raise signals.
void OnInterrupt();

}  // namespace rtq::cli
