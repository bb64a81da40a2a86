#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/text_escape.h"
#include "engine/failure_hint.h"
#include "engine/result_codes.h"
#include "platform/last_error.h"
#include "ports/bluetooth_printers.h"
#include "ports/device_names.h"
#include "ports/bluetooth_devices.h"
#include "ports/linux/device_inventory.h"
#include "ports/linux/usb_device_lookup.h"

namespace rtq::cli {

namespace {

// Keys in the order a reader expects them, not sorted.
using json = nlohmann::ordered_json;

// What the dialog would say under the failure the open would give.
std::string HintFor(int code, int error, const std::string& path) {
    return FailureHint(code, rtq::LastError{rtq::ErrnoText(error), error, path});
}

std::string SerialHint(const SerialPortEntry& port) {
    return HintFor(kResultPortOpenFailed, port.accessError, port.devicePath);
}

std::string PrinterHint(const UsbPrinterEntry& printer) {
    return HintFor(kResultUsbOpenFailed, printer.openError, printer.node);
}

// "0403:6001 FTDI FT232R USB UART, serial A50285BI"
std::string Describe(const UsbDeviceInfo& d) {
    std::string text = d.vendorId + ":" + d.productId;
    for (const std::string* part : {&d.manufacturer, &d.product})
        if (!part->empty()) text += " " + *part;
    if (!d.serial.empty()) text += ", serial " + d.serial;
    return EscapeText(text);
}

void PrintOpenable(std::ostream& out, int error, const std::string& hint) {
    if (error == 0) {
        out << ": can be opened\n";
        return;
    }
    out << ": cannot be opened\n    " << EscapeText(hint.empty() ? rtq::ErrnoText(error) : hint)
        << "\n";
}

// Why the paired printers cannot be listed; empty when they can.
std::string BluetoothProblem(const BluetoothState& bt) {
    rtq::LastError cause;
    return BluetoothUsable(bt, &cause) ? std::string() : FailureHint(kResultPortOpenFailed, cause);
}

// "paired, connected"
std::string BluetoothStatus(const BluetoothPrinter& p) {
    return std::string(p.paired ? "paired" : "not paired") +
           (p.connected ? ", connected" : ", not connected");
}

void PrintBluetooth(std::ostream& out, const BluetoothState& bt) {
    const std::string problem = BluetoothProblem(bt);
    if (!problem.empty()) {
        out << "Bluetooth printers: cannot be listed\n    " << EscapeText(problem) << "\n";
        return;
    }
    const std::vector<BluetoothPrinter> printers = PairedSerialPrinters(bt);
    out << "Bluetooth printers:" << (printers.empty() ? " none paired\n" : "\n");
    for (const BluetoothPrinter& p : printers)
        out << "  " << EscapeText(p.name) << " " << EscapeText(p.address) << " ("
            << BluetoothStatus(p) << ")\n";
}

void PrintText(std::ostream& out, const std::vector<SerialPortEntry>& ports,
               const std::vector<UsbPrinterEntry>& printers) {
    out << "Serial ports:" << (ports.empty() ? " none\n" : "\n");
    for (const SerialPortEntry& port : ports) {
        out << "  " << port.comName << " " << EscapeText(port.devicePath);
        if (port.usb) out << " (USB " << Describe(*port.usb) << ")";
        PrintOpenable(out, port.accessError, SerialHint(port));
    }
    out << "USB printers:" << (printers.empty() ? " none\n" : "\n");
    for (const UsbPrinterEntry& printer : printers) {
        out << "  " << EscapeText(printer.node) << " (USB " << Describe(printer.device) << ", "
            << EscapeText(printer.device.sysfsPath) << ")";
        PrintOpenable(out, printer.openError, PrinterHint(printer));
    }
}

json UsbJson(const UsbDeviceInfo& d) {
    return {{"sysfs_path", Utf8OrEscaped(d.sysfsPath)},
            {"vendor_id", Utf8OrEscaped(d.vendorId)},
            {"product_id", Utf8OrEscaped(d.productId)},
            {"manufacturer", Utf8OrEscaped(d.manufacturer)},
            {"product", Utf8OrEscaped(d.product)},
            {"serial", Utf8OrEscaped(d.serial)}};
}

void AddOpenable(json* entry, int error, const std::string& hint) {
    (*entry)["can_open"] = error == 0;
    if (error == 0) return;
    (*entry)["error"] = rtq::ErrnoText(error);
    (*entry)["hint"] = Utf8OrEscaped(hint);
}

json Document(const std::vector<SerialPortEntry>& ports,
              const std::vector<UsbPrinterEntry>& printers) {
    json serial = json::array();
    for (const SerialPortEntry& port : ports) {
        json entry = {{"port", port.comName},
                      {"device", Utf8OrEscaped(port.devicePath)},
                      {"usb", port.usb ? UsbJson(*port.usb) : json(nullptr)}};
        AddOpenable(&entry, port.accessError, SerialHint(port));
        serial.push_back(entry);
    }
    json usb = json::array();
    for (const UsbPrinterEntry& printer : printers) {
        json entry = UsbJson(printer.device);
        entry["node"] = Utf8OrEscaped(printer.node);
        AddOpenable(&entry, printer.openError, PrinterHint(printer));
        usb.push_back(entry);
    }
    return {{"serial_ports", serial}, {"usb_printers", usb}};
}

void AddBluetooth(json* doc, const BluetoothState& bt) {
    json printers = json::array();
    for (const BluetoothPrinter& p : PairedSerialPrinters(bt))
        printers.push_back({{"name", Utf8OrEscaped(p.name)},
                            {"address", Utf8OrEscaped(p.address)},
                            {"paired", p.paired},
                            {"connected", p.connected}});
    (*doc)["bluetooth_printers"] = printers;
    const std::string problem = BluetoothProblem(bt);
    (*doc)["bluetooth_error"] = problem.empty() ? json(nullptr) : json(Utf8OrEscaped(problem));
}

}  // namespace

int RunList(const CliOptions& options, std::ostream& out) {
    const std::string sysfs = SysfsRoot();
    const std::vector<SerialPortEntry> ports = ListSerialPorts(sysfs);
    const std::vector<UsbPrinterEntry> printers = ListUsbPrinters(sysfs, DeviceRoot());
    const BluetoothState bt = ReadBluetoothState();
    if (options.json) {
        json doc = Document(ports, printers);
        AddBluetooth(&doc, bt);
        out << doc.dump(2) << "\n";
    } else {
        PrintText(out, ports, printers);
        PrintBluetooth(out, bt);
    }
    out.flush();
    return 0;
}

}  // namespace rtq::cli
