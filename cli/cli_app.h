#pragma once
// rtqflash-cli as a function, so that tests can run it without a process.

#include <ostream>
#include <string>
#include <vector>

namespace rtq::cli {

// Runs the command line (the words after the program name) and returns
// the process exit status. The last line on out is "result N: MESSAGE"
// for the flash and check commands (with flash --json, a JSON object
// with the result). errIsTerminal: progress is redrawn on one line of err.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool errIsTerminal);

// The result line of a code, its outside characters escaped.
std::string ResultLine(int code);

}  // namespace rtq::cli
