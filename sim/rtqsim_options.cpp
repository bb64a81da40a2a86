#include "sim/rtqsim_options.h"

#include <charconv>
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
    if (extra) *extra = parts.size() == 3 ? parts[2] : std::string();
    return true;
}

}  // namespace

bool ParseRtqsimArgs(const std::vector<std::string>& args, RtqsimOptions* out,
                     std::string* error) {
    RtqsimOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* v) {
            if (i + 1 >= args.size()) {
                *error = a + ": missing value";
                return false;
            }
            *v = args[++i];
            return true;
        };
        auto byteValue = [&](uint8_t* b) {
            std::string v;
            if (!value(&v)) return false;
            if (!ParseNumber<uint8_t>(v, 0xFF, b)) {
                *error = a + ": '" + v + "' is not a byte (0..255 or 0x00..0xFF)";
                return false;
            }
            return true;
        };
        auto msValue = [&](int64_t* ms) {
            std::string v;
            if (!value(&v)) return false;
            if (!ParseNumber<int64_t>(v, 86'400'000, ms)) {
                *error = a + ": '" + v + "' is not a number of milliseconds";
                return false;
            }
            return true;
        };

        std::string v;
        FaultRule rule;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--link") {
            if (!value(&o.link)) return false;
        } else if (a == "--usb") {
            if (!value(&o.usb)) return false;
        } else if (a == "--usb-gadget") {
            if (!value(&o.usbGadget)) return false;
        } else if (a == "--restart-ms") {
            if (!msValue(&o.restartMs)) return false;
        } else if (a == "--unplug") {
            UnplugRule unplug;
            if (!value(&v) || !ParseUnplugRule(v, &unplug, error)) return false;
            o.unplug.push_back(unplug);
        } else if (a == "--flash-out") {
            if (!value(&o.flashOut)) return false;
        } else if (a == "--flash-in") {
            if (!value(&o.flashIn)) return false;
        } else if (a == "--exit-after-reset") {
            o.exitAfterReset = true;
        } else if (a == "--verbose" || a == "-v") {
            o.verbose = true;
        } else if (a == "--fill") {
            if (!byteValue(&o.config.fill)) return false;
        } else if (a == "--overwrite") {
            o.config.andProgramming = false;
        } else if (a == "--checksum-from-flash") {
            o.config.checksumFromFlash = true;
        } else if (a == "--identity") {
            if (!value(&o.config.identity)) return false;
        } else if (a == "--line-byte") {
            if (!byteValue(&o.config.lineStatus)) return false;
        } else if (a == "--slow-ms") {
            if (!msValue(&o.config.answerDelayMs)) return false;
        } else if (a == "--ipl-restart-ms") {
            if (!msValue(&o.config.iplRestartMs)) return false;
        } else if (a == "--nak" || a == "--silent" || a == "--ack-only" ||
                   a == "--drop-line") {
            const FaultAction action = a == "--nak"        ? FaultAction::Nak
                                       : a == "--silent"   ? FaultAction::Silent
                                       : a == "--ack-only" ? FaultAction::AckOnly
                                                           : FaultAction::DropLine;
            if (!value(&v) || !ParseFault(a, v, action, false, &rule, nullptr, error))
                return false;
            o.faults.push_back(rule);
        } else if (a == "--wrong-byte") {
            std::string extra;
            if (!value(&v) ||
                !ParseFault(a, v, FaultAction::WrongByte, true, &rule, &extra, error))
                return false;
            if (!extra.empty() && !ParseNumber<uint8_t>(extra, 0xFF, &rule.wrongByte)) {
                *error = a + ": '" + extra + "' is not a byte";
                return false;
            }
            o.faults.push_back(rule);
        } else if (a == "--slow") {
            std::string extra;
            if (!value(&v) ||
                !ParseFault(a, v, FaultAction::Delay, true, &rule, &extra, error))
                return false;
            if (!ParseNumber<int64_t>(extra, 86'400'000, &rule.delayMs)) {
                *error = a + ": expected KIND:N:MS, got '" + v + "'";
                return false;
            }
            o.faults.push_back(rule);
        } else if (a == "--bad-checksum") {
            // N alone means the checksum answers; crc:N the CRC answers.
            if (!value(&v)) return false;
            const std::string ruleText = v.find(':') == std::string::npos ? "checksum:" + v : v;
            if (!ParseFault(a, ruleText, FaultAction::WrongChecksum, false, &rule,
                            nullptr, error))
                return false;
            o.faults.push_back(rule);
        } else if (a == "--wrong-identity") {
            // The N-th identity answer carries TEXT (N:TEXT).
            if (!value(&v)) return false;
            const size_t colon = v.find(':');
            rule.kind = CommandKind::Identity;
            rule.action = FaultAction::WrongIdentity;
            if (colon == std::string::npos || !ParseWhich(v.substr(0, colon), &rule)) {
                *error = a + ": expected N:TEXT, got '" + v + "'";
                return false;
            }
            rule.identity = v.substr(colon + 1);
            o.faults.push_back(rule);
        } else {
            *error = "unknown option '" + a + "' (see --help)";
            return false;
        }
    }
    if (!o.usb.empty() && !o.link.empty()) {
        *error = "--usb and --link do not go together: the printer is on one link";
        return false;
    }
    if (!o.usbGadget.empty() && o.usb.empty()) {
        *error = "--usb-gadget needs --usb";
        return false;
    }
    if (!o.unplug.empty() && o.usbGadget.empty()) {
        *error = "--unplug needs --usb-gadget (the printer unplugs through it)";
        return false;
    }
    // A printer on a gadget really restarts after IPL sector 5, and is deaf
    // meanwhile, unless told how long that takes.
    if (!o.usbGadget.empty() && o.config.iplRestartMs == 0)
        o.config.iplRestartMs = o.restartMs > 0 ? o.restartMs : 1;
    *out = std::move(o);
    return true;
}

std::string RtqsimUsage() {
    return
        "usage: rtqsim [options]\n"
        "A simulated RTQ650 printer on a pseudo-terminal, or on the printer side\n"
        "of a USB gadget. Prints one line with the device it serves, then serves\n"
        "until SIGINT or SIGTERM.\n"
        "\n"
        "  --link PATH            make PATH a symlink to the pseudo-terminal\n"
        "  --usb PATH             serve the printer-side USB node PATH (normally\n"
        "                         /dev/g_printer0) instead of a pseudo-terminal\n"
        "  --usb-gadget DIR       the gadget's configfs folder (with --usb): the\n"
        "                         printer unplugs itself through DIR/UDC when it\n"
        "                         restarts (after a reset and after IPL sector 5)\n"
        "                         and plugs back in after --restart-ms\n"
        "  --restart-ms MS        time a restart keeps it unplugged (default 2000)\n"
        "  --flash-out FILE       write the flash image to FILE on exit and\n"
        "                         after every reset that ends a download\n"
        "  --flash-in FILE        load a flash image at start\n"
        "  --exit-after-reset     exit after the first reset that ends a download\n"
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
        "  --help, -h             this text\n";
}

}  // namespace rtq::sim
