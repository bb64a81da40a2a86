#pragma once
// The command line of rtqflash-cli: what was asked for, before any check
// of the values themselves.

#include <string>
#include <vector>

namespace rtq::cli {

enum class Command { Flash, Check, List, Help, Version };

struct CliOptions {
    Command command = Command::Help;
    std::string port;
    bool portGiven = false;
    std::string type;
    bool typeGiven = false;
    bool bluetooth = false;
    bool usb = false;
    // Kept as text: they are checked against the dialog's value lists.
    std::string baud;
    bool baudGiven = false;
    std::string parity;
    bool parityGiven = false;
    std::string stopBits;
    bool stopBitsGiven = false;
    std::string pin;
    bool pinGiven = false;
    std::string name;
    bool nameGiven = false;
    std::string file;
    bool fileGiven = false;
    bool json = false;   // flash, list: JSON on stdout
    bool quiet = false;  // flash: no progress
    std::string trace;   // flash: the wire trace's file
    bool traceGiven = false;
};

struct ParseResult {
    bool ok = false;
    std::string error;  // why the command line was refused, one line
    std::string text;   // what Help and Version print
    CliOptions options;
};

// args are the words after the program name. Options take their value as
// the next word or after "="; "--" ends the options.
ParseResult ParseCommandLine(const std::vector<std::string>& args);

// The help of the program as a whole.
std::string UsageText();

}  // namespace rtq::cli
