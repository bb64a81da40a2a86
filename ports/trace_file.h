#pragma once
// The wire trace's file holds the PIN code and every byte sent, so it is
// opened with care: never through a symbolic link, never waiting on a FIFO,
// only as a regular file (or a new one, readable by its owner only), and
// never when it is the data file or the port of the run.

#include <string>
#include <vector>

namespace rtq {

// A file the trace must not be written to: its path, and what it is, for
// the refusal ("the data file", "the port").
struct NotATraceFile {
    std::string what;
    std::string path;
};

// Opens path for appending, creating it if missing. The descriptor, or -1
// with the reason (naming the path) in *error.
int OpenTraceFile(const std::string& path, const std::vector<NotATraceFile>& others,
                  std::string* error);

}  // namespace rtq
