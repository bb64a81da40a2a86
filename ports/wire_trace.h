#pragma once
// Tracing of everything that goes over the printer link: every write and
// read call with its bytes, and every open, setting, purge and close, to a
// text file (the format is described in ports/wire_trace_writer.h).

#include <string>
#include <vector>

#include "ports/trace_file.h"

namespace rtq {

// Starts tracing to path (appended to, created if missing): wraps the
// serial and USB backends active now, fakes included, so start after
// installing test backends. Starting again switches to the new file. False,
// with the reason in *error, when the file cannot be opened (tracing then
// stays as it was) or written, or is refused: a link, a FIFO or another
// file that is not regular, or one of `others`.
bool StartWireTrace(const std::string& path, std::string* error,
                    const std::vector<NotATraceFile>& others = {});

// Puts the traced backends back and closes the file. Every line is on disk
// already; call it after the download threads have ended so that their
// last calls are in the trace too.
void StopWireTrace();

}  // namespace rtq
