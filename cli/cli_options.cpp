#include "cli/cli_options.h"

#include "engine/settings_check.h"

namespace rtq::cli {

namespace {

ParseResult Fail(const std::string& error) {
    ParseResult r;
    r.error = error;
    return r;
}

// Options that take a value, and where each value goes.
struct ValueOption {
    const char* name;
    std::string CliOptions::*value;
    bool CliOptions::*given;
};

constexpr ValueOption kValueOptions[] = {
    {"--port", &CliOptions::port, &CliOptions::portGiven},
    {"--type", &CliOptions::type, &CliOptions::typeGiven},
    {"--baud", &CliOptions::baud, &CliOptions::baudGiven},
    {"--parity", &CliOptions::parity, &CliOptions::parityGiven},
    {"--stop-bits", &CliOptions::stopBits, &CliOptions::stopBitsGiven},
    {"--pin", &CliOptions::pin, &CliOptions::pinGiven},
    {"--name", &CliOptions::name, &CliOptions::nameGiven},
};

const ValueOption* FindValueOption(const std::string& name) {
    for (const ValueOption& option : kValueOptions)
        if (name == option.name) return &option;
    return nullptr;
}

}  // namespace

std::string UsageText() {
    return "usage: rtqflash-cli flash --port PORT --type TYPE [--bluetooth] [--baud N]\n"
           "                          [--parity NONE|ODD|EVEN] [--stop-bits 1|2]\n"
           "                          [--pin TEXT] [--name TEXT] [FILE]\n"
           "       rtqflash-cli flash --usb --type TYPE [--pin TEXT] [--name TEXT] [FILE]\n"
           "       rtqflash-cli check --type TYPE FILE\n"
           "\n"
           "PORT  COM1 to COM64, or a device path\n"
           "TYPE  MAIN FIRMWARE, IPL FIRMWARE, CG FONT, PIN CODE, FRIENDLY NAME\n"
           "      (any case), or main, ipl, font, pin, name\n"
           "FILE  the data file; not used for PIN CODE and FRIENDLY NAME\n"
           "--usb writes the first attached USB printer of the RTQ650 family\n"
           "      (/dev/usb/lp*); it takes no port or line settings.\n"
           "Defaults: 9600 baud, parity NONE, 1 stop bit; 38400 with --bluetooth.\n";
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    if (args.empty()) return Fail("no command given");
    ParseResult r;
    CliOptions& o = r.options;
    const std::string& command = args[0];
    if (command == "flash") {
        o.command = Command::Flash;
    } else if (command == "check") {
        o.command = Command::Check;
    } else if (command == "--help" || command == "-h" || command == "help") {
        o.command = Command::Help;
        r.ok = true;
        return r;
    } else {
        return Fail("unknown command \"" + command + "\"");
    }

    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (optionsEnded || word.size() < 2 || word.compare(0, 2, "--") != 0) {
            if (!optionsEnded && word.size() > 1 && word[0] == '-')
                return Fail("unknown option \"" + word + "\"");
            positional.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (word == "--help") {
            o.command = Command::Help;
            r.ok = true;
            return r;
        }
        const size_t eq = word.find('=');
        const std::string name = word.substr(0, eq);
        if (name == "--bluetooth" || name == "--usb") {
            if (eq != std::string::npos) return Fail(name + " takes no value");
            (name == "--usb" ? o.usb : o.bluetooth) = true;
            continue;
        }
        const ValueOption* option = FindValueOption(name);
        if (!option) return Fail("unknown option \"" + name + "\"");
        if (o.*(option->given)) return Fail(name + " given twice");
        if (eq != std::string::npos) {
            o.*(option->value) = word.substr(eq + 1);
        } else {
            if (i + 1 >= args.size()) return Fail(name + " needs a value");
            o.*(option->value) = args[++i];
        }
        o.*(option->given) = true;
    }

    if (positional.size() > 1) return Fail("more than one FILE given");
    if (positional.size() == 1) {
        o.file = positional[0];
        o.fileGiven = true;
    }
    // The lengths the dialog's edit boxes admit.
    if (o.pin.size() > kMaxPinCodeLength)
        return Fail("--pin takes at most " + std::to_string(kMaxPinCodeLength) + " characters");
    if (o.name.size() > kMaxFriendlyNameLength)
        return Fail("--name takes at most " + std::to_string(kMaxFriendlyNameLength) +
                    " characters");
    if (!o.typeGiven) return Fail("--type is required");
    const bool lineOptions = o.portGiven || o.bluetooth || o.baudGiven || o.parityGiven ||
                             o.stopBitsGiven;
    if (o.command == Command::Flash) {
        if (o.usb && lineOptions)
            return Fail("--usb takes no --port, --bluetooth, --baud, --parity or --stop-bits");
        if (!o.usb && !o.portGiven) return Fail("--port or --usb is required");
    }
    if (o.command == Command::Check) {
        if (!o.fileGiven) return Fail("check needs a FILE");
        if (lineOptions || o.usb || o.pinGiven || o.nameGiven)
            return Fail("check takes only --type and FILE");
    }
    r.ok = true;
    return r;
}

}  // namespace rtq::cli
