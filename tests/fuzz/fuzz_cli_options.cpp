// rtqflash-cli's command-line parser on arbitrary words. It must never
// throw, refuse with a one-line reason, and give the same answer twice.

#include "cli/cli_options.h"
#include "engine/settings_check.h"
#include "tests/fuzz/command_words.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_target.h"

namespace {

bool SameOptions(const rtq::cli::CliOptions& a, const rtq::cli::CliOptions& b) {
    return a.command == b.command && a.port == b.port && a.portGiven == b.portGiven &&
           a.type == b.type && a.typeGiven == b.typeGiven && a.bluetooth == b.bluetooth &&
           a.usb == b.usb && a.baud == b.baud && a.parity == b.parity &&
           a.stopBits == b.stopBits && a.pin == b.pin && a.pinGiven == b.pinGiven &&
           a.name == b.name && a.nameGiven == b.nameGiven && a.file == b.file &&
           a.fileGiven == b.fileGiven && a.json == b.json && a.quiet == b.quiet;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> words = rtq::fuzz::CommandWords(data, size, 24);
    const rtq::cli::ParseResult r = rtq::cli::ParseCommandLine(words);

    FUZZ_CHECK(r.ok == r.error.empty(), "a refusal without a reason, or a reason for success");
    if (!rtq::fuzz::AnyLineBreak(words))
        FUZZ_CHECK(r.error.find('\n') == std::string::npos, "reason longer than one line");
    if (r.ok) {
        const rtq::cli::Command c = r.options.command;
        if (c == rtq::cli::Command::Help || c == rtq::cli::Command::Version)
            FUZZ_CHECK(!r.text.empty(), "help or version without text");
        FUZZ_CHECK(r.options.pin.size() <= kMaxPinCodeLength, "PIN code longer than allowed");
        FUZZ_CHECK(r.options.name.size() <= kMaxFriendlyNameLength,
                   "friendly name longer than allowed");
    }

    const rtq::cli::ParseResult again = rtq::cli::ParseCommandLine(words);
    FUZZ_CHECK(again.ok == r.ok && again.error == r.error && again.text == r.text &&
                   SameOptions(again.options, r.options),
               "the same words parsed differently");
    return 0;
}
