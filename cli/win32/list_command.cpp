#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/text_escape.h"
#include "ports/device_names.h"

namespace rtq::cli {

namespace {

using json = nlohmann::ordered_json;

}  // namespace

// The ports the system names (a test open would disturb a port, and one
// in use cannot be seen without taking it). No USB printer search yet.
int RunList(const CliOptions& options, std::ostream& out) {
    std::vector<std::string> ports;
    for (int n = 1; n <= kLastComPort; ++n)
        if (PortDevicePresent(ComPortName(n))) ports.push_back(ComPortName(n));
    if (options.json) {
        json serial = json::array();
        for (const std::string& port : ports)
            serial.push_back({{"port", port}, {"device", DevicePathForPort(port)}, {"usb", nullptr}});
        out << json{{"serial_ports", serial}, {"usb_printers", json::array()}}.dump(2) << "\n";
    } else {
        out << "Serial ports:" << (ports.empty() ? " none\n" : "\n");
        for (const std::string& port : ports)
            out << "  " << port << " " << EscapeText(DevicePathForPort(port)) << "\n";
        out << "USB printers: none\n";
    }
    out.flush();
    return 0;
}

}  // namespace rtq::cli
