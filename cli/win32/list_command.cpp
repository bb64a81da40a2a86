#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/text_escape.h"
#include "engine/failure_hint.h"
#include "engine/result_codes.h"
#include "platform/last_error.h"
#include "platform/win32/system_error.h"
#include "ports/device_names.h"
#include "ports/win32/usb_registry.h"

namespace rtq::cli {

namespace {

using json = nlohmann::ordered_json;

// What a run would say under the failure the open gave.
std::string PrinterHint(const UsbPrinterListing& p) {
    const std::string text = SystemErrorText(p.openError);
    const std::string hint = FailureHint(
        kResultUsbOpenFailed, LastError{text, ErrnoClassOf(p.openError), p.printer.path});
    return hint.empty() ? text : hint;
}

// Plain ASCII as it is (a device path keeps its backslashes, as the serial
// ports' do); anything else in the escaped form, which JSON can hold.
std::string JsonText(const std::string& text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80 || static_cast<unsigned char>(c) < 0x20)
            return Utf8OrEscaped(text);
    return text;
}

// "6D31:2207, serial 0001"
std::string Describe(const UsbInstance& p) {
    return EscapeText(std::string(p.vendorId) + ":" + p.productId + ", serial " + p.instance);
}

}  // namespace

// The ports the system names (a test open would disturb a port, and one
// in use cannot be seen without taking it), and the attached USB printers
// with whether they open.
int RunList(const CliOptions& options, std::ostream& out) {
    std::vector<std::string> ports;
    for (int n = 1; n <= kLastComPort; ++n)
        if (PortDevicePresent(ComPortName(n))) ports.push_back(ComPortName(n));
    const std::vector<UsbPrinterListing> printers = AttachedUsbPrinters();
    if (options.json) {
        json serial = json::array();
        for (const std::string& port : ports)
            serial.push_back({{"port", port}, {"device", DevicePathForPort(port)}, {"usb", nullptr}});
        json usb = json::array();
        for (const UsbPrinterListing& p : printers) {
            json entry = {{"vendor_id", p.printer.vendorId},
                          {"product_id", p.printer.productId},
                          {"serial", JsonText(p.printer.instance)},
                          {"node", JsonText(p.printer.path)},
                          {"can_open", p.openError == 0}};
            if (p.openError != 0) {
                entry["error"] = JsonText(SystemErrorText(p.openError));
                entry["hint"] = JsonText(PrinterHint(p));
            }
            usb.push_back(entry);
        }
        out << json{{"serial_ports", serial}, {"usb_printers", usb}}.dump(2) << "\n";
    } else {
        out << "Serial ports:" << (ports.empty() ? " none\n" : "\n");
        for (const std::string& port : ports)
            out << "  " << port << " " << EscapeText(DevicePathForPort(port)) << "\n";
        out << "USB printers:" << (printers.empty() ? " none\n" : "\n");
        for (const UsbPrinterListing& p : printers) {
            out << "  " << EscapeText(p.printer.path) << " (USB " << Describe(p.printer) << ")";
            if (p.openError == 0)
                out << ": can be opened\n";
            else
                out << ": cannot be opened\n    " << EscapeText(PrinterHint(p)) << "\n";
        }
    }
    out.flush();
    return 0;
}

}  // namespace rtq::cli
