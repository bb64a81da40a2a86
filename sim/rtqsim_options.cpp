#include "sim/rtqsim_options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <functional>
#include <limits>

namespace rtq::sim {

namespace {

template <typename T>
bool ParseNumber(const std::string& text, T max, T* out) {
    int base = 10;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        begin += 2;
    }
    unsigned long long v = 0;
    auto [ptr, ec] = std::from_chars(begin, end, v, base);
    if (ec != std::errc() || ptr != end || begin == end ||
        v > static_cast<unsigned long long>(max))
        return false;
    *out = static_cast<T>(v);
    return true;
}

std::string KindList() {
    return "switch, line, identity, erase, select, data, checksum, crc, "
           "reset, pin, name, any";
}

// "N" (the N-th), "N+" (the N-th and every later one) or "all".
bool ParseWhich(const std::string& text, FaultRule* rule) {
    if (text == "all") {
        rule->nth = 1;
        rule->times = 0;
        return true;
    }
    std::string digits = text;
    bool onwards = false;
    if (!digits.empty() && digits.back() == '+') {
        digits.pop_back();
        onwards = true;
    }
    int n = 0;
    if (!ParseNumber(digits, std::numeric_limits<int>::max(), &n) || n < 1)
        return false;
    rule->nth = n;
    rule->times = onwards ? 0 : 1;
    return true;
}

// KIND:WHICH[:EXTRA]; EXTRA is returned when wanted.
bool ParseFault(const std::string& option, const std::string& value,
                FaultAction action, bool takesExtra, FaultRule* rule,
                std::string* extra, std::string* error) {
    const std::vector<std::string> parts = SplitFields(value, ':');
    if (parts.size() < 2 || parts.size() > (takesExtra ? 3u : 2u)) {
        *error = option + ": expected KIND:N" + (takesExtra ? "[:VALUE]" : "") +
                 ", got '" + value + "'";
        return false;
    }
    rule->action = action;
    if (!ParseCommandKind(parts[0], &rule->kind) ||
        rule->kind == CommandKind::Unknown) {
        *error = option + ": unknown command kind '" + parts[0] + "' (use " +
                 KindList() + ")";
        return false;
    }
    if (!ParseWhich(parts[1], rule)) {
        *error = option + ": '" + parts[1] + "' is not N, N+ or all";
        return false;
    }
    if (parts.size() == 3 && parts[2].empty()) {
        *error = option + ": nothing after the last ':' in '" + value + "'";
        return false;
    }
    if (extra) *extra = parts.size() == 3 ? parts[2] : std::string();
    return true;
}

}  // namespace

bool ParseRtqsimArgs(const std::vector<std::string>& args, RtqsimOptions* out,
                     std::string* error) {
    RtqsimOptions o;
    CLI::App app("", "rtqsim");
    // The help is the hand-written text of RtqsimUsage.
    app.set_help_flag();
    app.add_flag("-h,--help", o.help)->disable_flag_override();
    app.add_flag("--version", o.version)->disable_flag_override();

    // Each value is checked where it stands, so the faults keep the
    // command line's order and the first bad word is the one reported.
    const auto option = [&app](const char* name, std::function<void(const std::string&)> take) {
        app.add_option_function<std::string>(name, std::move(take))->trigger_on_parse();
    };
    const auto refuse = [](const std::string& why) { throw CLI::ValidationError(why); };
    const auto flag = [&app](const char* name, std::function<void()> set) {
        app.add_flag_callback(name, std::move(set))->disable_flag_override();
    };
    const auto byteValue = [&](const std::string& name, const std::string& v, uint8_t* b) {
        if (!ParseNumber<uint8_t>(v, 0xFF, b))
            refuse(name + ": '" + v + "' is not a byte (0..255 or 0x00..0xFF)");
    };
    const auto msValue = [&](const std::string& name, const std::string& v, int64_t* ms) {
        if (!ParseNumber<int64_t>(v, 86'400'000, ms))
            refuse(name + ": '" + v + "' is not a number of milliseconds");
    };
    const auto fault = [&](const std::string& name, const std::string& v, FaultAction action,
                           bool takesExtra, std::string* extra) {
        FaultRule rule;
        std::string why;
        if (!ParseFault(name, v, action, takesExtra, &rule, extra, &why)) refuse(why);
        return rule;
    };

    option("--link", [&](const std::string& v) { o.link = v; });
    option("--usb", [&](const std::string& v) { o.usb = v; });
    option("--usb-gadget", [&](const std::string& v) { o.usbGadget = v; });
    option("--serial-device", [&](const std::string& v) { o.serialDevice = v; });
    option("--rfcomm-channel", [&](const std::string& v) {
        uint8_t channel = 0;
        if (!ParseNumber<uint8_t>(v, 30, &channel) || channel == 0)
            refuse("--rfcomm-channel: '" + v + "' is not a channel (1..30)");
        o.rfcommChannel = channel;
    });
    option("--stream-socket", [&](const std::string& v) { o.streamSocket = v; });
    option("--restart-ms", [&](const std::string& v) { msValue("--restart-ms", v, &o.restartMs); });
    option("--unplug", [&](const std::string& v) {
        UnplugRule unplug;
        std::string why;
        if (!ParseUnplugRule(v, &unplug, &why)) refuse(why);
        o.unplug.push_back(unplug);
    });
    option("--flash-out", [&](const std::string& v) { o.flashOut = v; });
    option("--flash-in", [&](const std::string& v) { o.flashIn = v; });
    flag("--exit-after-reset", [&] { o.exitAfterReset = true; });
    flag("-v,--verbose", [&] { o.verbose = true; });
    option("--fill", [&](const std::string& v) { byteValue("--fill", v, &o.config.fill); });
    flag("--overwrite", [&] { o.config.andProgramming = false; });
    flag("--checksum-from-flash", [&] { o.config.checksumFromFlash = true; });
    option("--identity", [&](const std::string& v) { o.config.identity = v; });
    option("--line-byte",
           [&](const std::string& v) { byteValue("--line-byte", v, &o.config.lineStatus); });
    option("--slow-ms",
           [&](const std::string& v) { msValue("--slow-ms", v, &o.config.answerDelayMs); });
    option("--ipl-restart-ms",
           [&](const std::string& v) { msValue("--ipl-restart-ms", v, &o.config.iplRestartMs); });
    const struct {
        const char* name;
        FaultAction action;
    } kPlainFaults[] = {{"--nak", FaultAction::Nak},
                        {"--silent", FaultAction::Silent},
                        {"--ack-only", FaultAction::AckOnly},
                        {"--drop-line", FaultAction::DropLine}};
    for (const auto& f : kPlainFaults) {
        const std::string name = f.name;
        const FaultAction action = f.action;
        option(f.name, [&, name, action](const std::string& v) {
            o.faults.push_back(fault(name, v, action, false, nullptr));
        });
    }
    option("--wrong-byte", [&](const std::string& v) {
        std::string extra;
        FaultRule rule = fault("--wrong-byte", v, FaultAction::WrongByte, true, &extra);
        if (!extra.empty() && !ParseNumber<uint8_t>(extra, 0xFF, &rule.wrongByte))
            refuse("--wrong-byte: '" + extra + "' is not a byte");
        o.faults.push_back(rule);
    });
    option("--slow", [&](const std::string& v) {
        std::string extra;
        FaultRule rule = fault("--slow", v, FaultAction::Delay, true, &extra);
        if (!ParseNumber<int64_t>(extra, 86'400'000, &rule.delayMs))
            refuse("--slow: expected KIND:N:MS, got '" + v + "'");
        o.faults.push_back(rule);
    });
    option("--bad-checksum", [&](const std::string& v) {
        // N alone means the checksum answers; crc:N the CRC answers.
        const std::string ruleText = v.find(':') == std::string::npos ? "checksum:" + v : v;
        const FaultRule rule =
            fault("--bad-checksum", ruleText, FaultAction::WrongChecksum, false, nullptr);
        // Only these two answers carry a value that could be wrong.
        if (rule.kind != CommandKind::Checksum && rule.kind != CommandKind::RecalculateCrc)
            refuse("--bad-checksum: '" + v + "' names no checksum or crc answer (use N or crc:N)");
        o.faults.push_back(rule);
    });
    option("--wrong-identity", [&](const std::string& v) {
        // The N-th identity answer carries TEXT (N:TEXT).
        FaultRule rule;
        const size_t colon = v.find(':');
        rule.kind = CommandKind::Identity;
        rule.action = FaultAction::WrongIdentity;
        if (colon == std::string::npos || !ParseWhich(v.substr(0, colon), &rule))
            refuse("--wrong-identity: expected N:TEXT, got '" + v + "'");
        rule.identity = v.substr(colon + 1);
        o.faults.push_back(rule);
    });

    // The parser takes the words last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ValidationError& e) {
        *error = e.what();
        return false;
    } catch (const CLI::ParseError& e) {
        *error = std::string(e.what()) + " (see --help)";
        return false;
    }

    if (!o.usb.empty() && !o.link.empty()) {
        *error = "--usb and --link do not go together: the printer is on one link";
        return false;
    }
    if (!o.serialDevice.empty() && (!o.usb.empty() || !o.link.empty())) {
        *error = "--serial-device goes with neither --usb nor --link: the printer is on one link";
        return false;
    }
    const int links = !o.usb.empty() + !o.link.empty() + !o.serialDevice.empty() +
                      (o.rfcommChannel != 0) + !o.streamSocket.empty();
    if ((o.rfcommChannel != 0 || !o.streamSocket.empty()) && links > 1) {
        *error = "--rfcomm-channel and --stream-socket go with no other link: the printer is on "
                 "one link";
        return false;
    }
    if (!o.usbGadget.empty() && o.usb.empty() && o.serialDevice.empty()) {
        *error = "--usb-gadget needs --usb or --serial-device";
        return false;
    }
    if (!o.unplug.empty() && o.usbGadget.empty()) {
        *error = "--unplug needs --usb-gadget (the printer unplugs through it)";
        return false;
    }
    // A printer on a gadget really restarts after IPL sector 5, and is deaf
    // meanwhile, unless told how long that takes. Behind a USB-serial
    // adapter the gadget is the adapter, which stays.
    if (!o.usb.empty() && !o.usbGadget.empty() && o.config.iplRestartMs == 0)
        o.config.iplRestartMs = o.restartMs > 0 ? o.restartMs : 1;
    *out = std::move(o);
    return true;
}

std::string RtqsimUsage() {
    return
        "usage: rtqsim [options]\n"
        "A simulated RTQ650 printer on a pseudo-terminal, on a serial device, or\n"
        "on the printer side of a USB gadget. Prints one line with the device it\n"
        "serves, then serves until SIGINT or SIGTERM.\n"
        "\n"
        "  --link PATH            make PATH a symlink to the pseudo-terminal\n"
        "  --usb PATH             serve the printer-side USB node PATH (normally\n"
        "                         /dev/g_printer0) instead of a pseudo-terminal\n"
        "  --serial-device PATH   serve the terminal device PATH that already exists\n"
        "                         (the printer side of a USB-serial adapter, as\n"
        "                         /dev/ttyGS0) in raw mode; a hang-up (adapter\n"
        "                         unplugged) closes it and it is opened again\n"
        "  --rfcomm-channel N     listen on Bluetooth RFCOMM channel N (1..30) as a\n"
        "                         printer's serial port; one host at a time, the\n"
        "                         printer keeps its state across reconnects\n"
        "  --stream-socket PATH   the same on a Unix stream socket at PATH\n"
        "  --usb-gadget DIR       the gadget's configfs folder (with --usb): the\n"
        "                         printer unplugs itself through DIR/UDC when it\n"
        "                         restarts (after a reset and after IPL sector 5)\n"
        "                         and plugs back in after --restart-ms; with\n"
        "                         --serial-device the adapter's gadget, for --unplug\n"
        "  --restart-ms MS        time a restart keeps it unplugged (default 2000)\n"
        "  --flash-out FILE       write the flash image to FILE on exit and\n"
        "                         after every reset that ends a download\n"
        "  --flash-in FILE        load a flash image at start\n"
        "  --exit-after-reset     exit after the first reset that ends a download\n"
        "                         (with --link, once the host has closed the port)\n"
        "  --fill BYTE            initial flash content (default 0xFF)\n"
        "  --overwrite            data overwrites the flash (default: data is\n"
        "                         ANDed in, as real flash cells only clear bits)\n"
        "  --checksum-from-flash  answer the checksum of the flash content\n"
        "                         instead of the data received\n"
        "  --identity TEXT        identity text (default \"Mobile Printer\")\n"
        "  --line-byte BYTE       second byte of the line-check answer (default 0)\n"
        "  --ipl-restart-ms MS    restart after sector 5 and stay deaf for MS\n"
        "                         (with --usb-gadget always; default --restart-ms)\n"
        "  --verbose, -v          log every command on stderr\n"
        "\n"
        "Faults (KIND: switch, line, identity, erase, select, data, checksum,\n"
        "crc, reset, pin, name, any; N: the N-th of that kind, N+ from the N-th\n"
        "on, or all):\n"
        "  --nak KIND:N           answer NAK and do nothing\n"
        "  --silent KIND:N        the command is lost: no effect, no answer\n"
        "  --wrong-byte KIND:N[:BYTE]  answer one wrong byte (default 0x41)\n"
        "  --ack-only KIND:N      answer the ACK only, without the bytes after it\n"
        "  --bad-checksum [crc:]N answer a wrong checksum (or CRC) value\n"
        "  --wrong-identity N:TEXT  answer TEXT to the N-th identity query\n"
        "  --slow-ms MS           release every answer MS later\n"
        "  --slow KIND:N:MS       release that answer MS later\n"
        "  --drop-line KIND:N     the line goes dead from that command on\n"
        "  --unplug KIND:N:S      (with --usb-gadget) unplug in the middle of the\n"
        "                         N-th command of KIND (after half of a data\n"
        "                         frame, right after other frames) and plug back\n"
        "                         in after S seconds (e.g. 2 or 0.5), or never\n"
        "                         (S = never); the cut frame goes on afterwards\n"
        "  --version              the program's release\n"
        "  --help, -h             this text\n";
}

}  // namespace rtq::sim
