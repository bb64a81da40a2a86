#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdint>

#include "cli/download_type.h"
#include "engine/data_file.h"
#include "engine/result_codes.h"
#include "engine/settings_check.h"
#include "ports/bluetooth_address.h"
#include "platform/version.h"

namespace rtq::cli {

namespace {

constexpr const char* kProgram = "rtqflash-cli";

constexpr const char* kFlashFooter =
    "PORT  COM1 to COM64, or a device path; with --bluetooth also a paired\n"
    "      printer's name or address (00:AA:01:01:00:01; /N for RFCOMM channel N)\n"
    "TYPE  MAIN FIRMWARE, IPL FIRMWARE, CG FONT, PIN CODE, FRIENDLY NAME\n"
    "      (any case), or main, ipl, font, pin, name\n"
    "FILE  the data file; not used for PIN CODE and FRIENDLY NAME\n"
    "--usb writes the first attached USB printer of the RTQ650 family, or\n"
    "      the one --port names by its device or serial number (as list\n"
    "      shows both); it takes no line settings.\n"
    "Defaults: 9600 baud, parity NONE, 1 stop bit; 38400 with --bluetooth.\n"
    "The last line on stdout is \"result CODE: MESSAGE\"; the exit status is 0\n"
    "for success, CODE - 1000 for a failure, 64 for a usage error.";

// The parser of the whole command line, its values bound to `options`.
class Parser {
public:
    explicit Parser(CliOptions* options) : m_app("RTQ650 printer flash utility", kProgram) {
        CliOptions& o = *options;
        m_app.get_formatter()->label("Usage", "usage");
        m_app.get_formatter()->column_width(24);
        m_app.set_version_flag("--version", std::string(kProgram) + " " + rtq::kVersion);
        m_app.require_subcommand(1);

        flash = m_app.add_subcommand("flash",
                                     "Write a data file or a Bluetooth setting to a printer");
        flash->add_option("--port", o.port, "serial or Bluetooth port, or the USB printer")
            ->type_name("PORT");
        flash->add_flag("--usb", o.usb, "the USB printer instead of a port")
            ->disable_flag_override();
        AddType(flash, &o);
        flash->add_flag("--bluetooth", o.bluetooth, "the port is a Bluetooth pairing")
            ->disable_flag_override();
        flash->add_option("--baud", o.baud, "line speed")->type_name("N");
        flash->add_option("--parity", o.parity, "parity")->type_name("NONE|ODD|EVEN");
        flash->add_option("--stop-bits", o.stopBits, "stop bits")->type_name("1|2");
        flash->add_option("--pin", o.pin, "the PIN code to write")->type_name("TEXT");
        flash->add_option("--name", o.name, "the friendly name to write")->type_name("TEXT");
        flash->add_flag("--json", o.json, "JSON Lines on stdout: progress, then the result")
            ->disable_flag_override();
        flash->add_flag("--quiet", o.quiet, "no progress, only the result")
            ->disable_flag_override();
        flash->add_option("--trace", o.trace, "append a trace of every call on the link")
            ->type_name("FILE")
            ->each([&o](const std::string&) { o.traceGiven = true; });
        AddFile(flash, &o);
        flash->footer(kFlashFooter);

        check = m_app.add_subcommand("check",
                                     "Check a data file and show the sectors a run would write");
        AddType(check, &o);
        AddFile(check, &o);
        check->footer("Touches no port.");

        list = m_app.add_subcommand(
            "list", "Show the serial ports and USB printers and whether this user may open them");
        list->add_flag("--json", o.json, "one JSON document")->disable_flag_override();
        // Set last: subcommands take the footer in force when they are added.
        m_app.footer("Run \"rtqflash-cli COMMAND --help\" for the options of a command.");
    }

    CLI::App& App() { return m_app; }
    CLI::App* flash = nullptr;
    CLI::App* check = nullptr;
    CLI::App* list = nullptr;

    // The subcommand named on the command line, or nullptr.
    CLI::App* Named() const {
        for (CLI::App* sub : {flash, check, list})
            if (sub->parsed()) return sub;
        return nullptr;
    }
    CLI::App* ByName(const std::string& name) const {
        for (CLI::App* sub : {flash, check, list})
            if (sub->get_name() == name) return sub;
        return nullptr;
    }
    // The name of an option of the command that was given more than once.
    std::string Repeated() const {
        if (const CLI::App* sub = Named())
            for (const CLI::Option* option : sub->get_options())
                if (option->get_expected_max() == 1 && option->count() > 1)
                    return option->get_name();
        return std::string();
    }
    std::string HelpOf(const CLI::App* sub) const {
        return sub ? sub->help(kProgram) : m_app.help();
    }

private:
    static void AddType(CLI::App* sub, CliOptions* o) {
        sub->add_option("--type", o->type, "what is written")->type_name("TYPE");
    }
    static void AddFile(CLI::App* sub, CliOptions* o) {
        sub->add_option("FILE", o->file, "the data file")->type_name("");
    }

    CLI::App m_app;
};

ParseResult Fail(const std::string& error, const CLI::App* sub = nullptr) {
    ParseResult r;
    r.error = error + "; see \"" + kProgram + (sub ? " " + sub->get_name() : "") + " --help\"";
    return r;
}

ParseResult Text(Command command, const std::string& text) {
    ParseResult r;
    r.ok = true;
    r.options.command = command;
    r.text = text;
    return r;
}

// Whether text is a whole number that an int32_t holds. A number is then
// checked against the values the printer takes, which has its own result
// code; anything else is a mistake on the command line.
bool WholeNumber(const std::string& text) {
    int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [last, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && last == end;
}

// The values a download type needs or cannot use. A type that is not
// known is left to the settings check, which has a code for it.
std::string TypeMismatch(const CliOptions& o) {
    DownloadType type;
    if (ResolveDownloadType(o.type, false, &type) != kResultSuccess) return std::string();
    if (type.kind == DownloadKind::PinCode && !o.pinGiven)
        return "--type " + o.type + " needs --pin (--pin \"\" clears the PIN code)";
    if (type.kind == DownloadKind::FriendlyName && !o.nameGiven)
        return "--type " + o.type + " needs --name";
    if (IsFileKind(type.kind) && (o.pinGiven || o.nameGiven))
        return std::string(o.pinGiven ? "--pin" : "--name") + " is not used with --type " +
               o.type;
    return std::string();
}

// The checks that no option alone can make.
ParseResult CheckCombination(const Parser& p, CliOptions o) {
    const CLI::App* sub = p.Named();
    o.portGiven = p.flash->count("--port") > 0;
    o.baudGiven = p.flash->count("--baud") > 0;
    o.parityGiven = p.flash->count("--parity") > 0;
    o.stopBitsGiven = p.flash->count("--stop-bits") > 0;
    o.pinGiven = p.flash->count("--pin") > 0;
    o.nameGiven = p.flash->count("--name") > 0;
    o.typeGiven = p.flash->count("--type") > 0 || p.check->count("--type") > 0;
    o.fileGiven = p.flash->count("FILE") > 0 || p.check->count("FILE") > 0;
    o.command = sub == p.flash ? Command::Flash : sub == p.check ? Command::Check : Command::List;

    // The lengths the dialog's edit boxes admit.
    if (o.pin.size() > kMaxPinCodeLength)
        return Fail("--pin takes at most " + std::to_string(kMaxPinCodeLength) + " characters",
                    sub);
    if (o.name.size() > kMaxFriendlyNameLength)
        return Fail("--name takes at most " + std::to_string(kMaxFriendlyNameLength) +
                        " characters",
                    sub);
    if (o.command != Command::List && !o.typeGiven) return Fail("--type is required", sub);
    if (o.command == Command::Flash) {
        const bool lineOptions = o.bluetooth || o.baudGiven || o.parityGiven || o.stopBitsGiven;
        if (o.usb && lineOptions)
            return Fail("--usb takes no --bluetooth, --baud, --parity or --stop-bits", sub);
        if (o.usb && o.portGiven && o.port.empty())
            return Fail("--port with --usb takes a node or a serial number", sub);
        if (!o.usb && !o.portGiven) return Fail("--port or --usb is required", sub);
        // A USB serial number may look like anything.
        if (!o.usb && !o.bluetooth && rtq::IsBluetoothTarget(o.port))
            return Fail("a Bluetooth address as --port needs --bluetooth", sub);
        if (o.baudGiven && !WholeNumber(o.baud))
            return Fail("--baud takes a whole number, not \"" + o.baud + "\"", sub);
        if (o.stopBitsGiven && !WholeNumber(o.stopBits))
            return Fail("--stop-bits takes a whole number, not \"" + o.stopBits + "\"", sub);
        const std::string mismatch = TypeMismatch(o);
        if (!mismatch.empty()) return Fail(mismatch, sub);
    }
    if (o.command == Command::Check && !o.fileGiven) return Fail("check needs a FILE", sub);
    ParseResult r;
    r.ok = true;
    r.options = o;
    return r;
}

}  // namespace

std::string UsageText() {
    CliOptions unused;
    return Parser(&unused).HelpOf(nullptr);
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    CliOptions o;
    Parser p(&o);
    if (args.empty()) return Fail("no command given");
    const std::string& first = args[0];
    if (first == "help") {
        const CLI::App* sub = args.size() > 1 ? p.ByName(args[1]) : nullptr;
        return Text(Command::Help, p.HelpOf(sub));
    }
    if (first.empty() || (first[0] != '-' && !p.ByName(first)))
        return Fail("unknown command \"" + first + "\"");
    if (first[0] == '-' && first != "-h" && first != "--help" && first != "--version")
        return Fail("unknown option \"" + first + "\" before the command");

    // The parser takes the words last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        p.App().parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return Text(Command::Help, p.HelpOf(p.Named()));
    } catch (const CLI::CallForAllHelp&) {
        return Text(Command::Help, p.HelpOf(nullptr));
    } catch (const CLI::CallForVersion& e) {
        return Text(Command::Version, std::string(e.what()) + "\n");
    } catch (const CLI::ArgumentMismatch& e) {
        return Fail(p.Repeated().empty() ? e.what() : p.Repeated() + " given twice", p.Named());
    } catch (const CLI::ParseError& e) {
        return Fail(e.what(), p.Named());
    }
    return CheckCombination(p, o);
}

}  // namespace rtq::cli
