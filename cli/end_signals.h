#pragma once
// The system's ways of asking a command-line run to end (signals on Linux,
// the console's Ctrl-C and Ctrl-Break on Windows), kept apart from what a
// request does (cli/interrupt.h).

#include <cstddef>

namespace rtq::cli {

// What a request does (cancel the run if it offers Cancel, else let it
// finish); called by the handlers.
void OnInterrupt();

// Routes the requests to OnInterrupt(); a request the process was started
// to ignore stays ignored.
void InstallEndHandlers();
// Gives the earlier handlers back.
void RestoreEndHandlers();
// Writes a note to the error stream; safe from where OnInterrupt runs.
void WriteInterruptNote(const char* text, std::size_t len);

}  // namespace rtq::cli
