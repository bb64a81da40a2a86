#pragma once
// SIGINT, SIGTERM and SIGHUP during a command-line run (Ctrl-C, a kill, the
// terminal or the session going away) never end the process in the middle
// of writing the printer's flash. While the run offers Cancel (a serial or
// Bluetooth file download until its line check passed) a signal cancels it
// like the progress dialog's Cancel button; one that comes before the run's
// progress opened cancels it when it opens, if it offers Cancel then; any
// other run is finished. The program then ends with the run's own status,
// and a further signal forces nothing. On Windows the console's Ctrl-C and
// Ctrl-Break are these signals (cli/end_signals.h).

#include "cli/end_signals.h"
#include "cli/progress_window.h"

namespace rtq::cli {

// Takes the three signals for the object's lifetime (a signal ignored at
// start, as under nohup, stays ignored) and forgets an earlier end request;
// a guard within another changes neither. window, if given, is the run's
// window as with InterruptTarget. On the main thread only.
class InterruptGuard {
public:
    explicit InterruptGuard(const CliProgressWindow* window = nullptr);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    bool m_ownsWindow = false;
};

// The window whose Cancel a signal presses, for the object's lifetime.
class InterruptTarget {
public:
    explicit InterruptTarget(const CliProgressWindow* window);
    ~InterruptTarget();
    InterruptTarget(const InterruptTarget&) = delete;
    InterruptTarget& operator=(const InterruptTarget&) = delete;
};

// OnInterrupt() (cli/end_signals.h) is what one of the signals does now;
// public so that tests need not raise signals.

// Whether a signal asked for the end while a guard was in place.
bool EndRequested();

}  // namespace rtq::cli
