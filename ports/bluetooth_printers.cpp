#include "ports/bluetooth_printers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/error_numbers.h"
#include "ports/bluetooth_address.h"

namespace rtq {

namespace {

LastError Cause(int err, const std::string& text, const std::string& path) {
    return LastError{text, err, path};
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x | 0x20 : x) == (y >= 'A' && y <= 'Z' ? y | 0x20 : y);
           });
}

const std::string& ShownName(const BluetoothDeviceState& d) {
    return d.alias.empty() ? d.name : d.alias;
}

}  // namespace

bool OffersSerialPort(const BluetoothDeviceState& d) {
    return std::any_of(d.uuids.begin(), d.uuids.end(),
                       [](const std::string& u) { return SameText(u, kSerialPortUuid); });
}

std::vector<BluetoothPrinter> PairedSerialPrinters(const BluetoothState& state) {
    std::vector<BluetoothPrinter> printers;
    for (const BluetoothDeviceState& d : state.devices) {
        if (!d.paired || !OffersSerialPort(d)) continue;
        printers.push_back({ShownName(d), d.address, d.paired, d.connected});
    }
    return printers;
}

bool BluetoothUsable(const BluetoothState& state, LastError* error) {
    if (!state.serviceReachable) {
        *error = Cause(ENETDOWN, "the Bluetooth service cannot be reached (" + state.error + ")",
                       "");
        return false;
    }
    if (state.adapters.empty()) {
        *error = Cause(ENETDOWN, "this computer has no Bluetooth adapter", "");
        return false;
    }
    if (std::none_of(state.adapters.begin(), state.adapters.end(),
                     [](const BluetoothAdapterState& a) { return a.powered; })) {
        *error = Cause(ENETDOWN, "Bluetooth is switched off", "");
        return false;
    }
    return true;
}

bool ResolveBluetoothPort(const BluetoothState& state, const std::string& text,
                          std::string* port, LastError* error) {
    // An address needs no service: the socket connects without one.
    if (IsBluetoothTarget(text)) {
        *port = text;
        return true;
    }
    if (!BluetoothUsable(state, error)) {
        error->path = text;
        return false;
    }
    std::vector<const BluetoothDeviceState*> named;
    for (const BluetoothDeviceState& d : state.devices)
        if (SameText(d.alias, text) || SameText(d.name, text)) named.push_back(&d);
    std::vector<const BluetoothDeviceState*> paired;
    for (const BluetoothDeviceState* d : named)
        if (d->paired) paired.push_back(d);
    if (paired.empty()) {
        *error = Cause(kErrnoNoKey, "no paired Bluetooth printer has this name", text);
        return false;
    }
    std::vector<const BluetoothDeviceState*> serial;
    for (const BluetoothDeviceState* d : paired)
        if (OffersSerialPort(*d)) serial.push_back(d);
    if (serial.empty()) {
        *error = Cause(EPROTONOSUPPORT,
                       "the paired device " + paired.front()->address +
                           " offers no serial port service",
                       text);
        return false;
    }
    // Never guess between two printers: the wrong one would be written.
    if (serial.size() > 1) {
        std::string addresses;
        for (const BluetoothDeviceState* d : serial)
            addresses += (addresses.empty() ? "" : ", ") + d->address;
        *error = Cause(EINVAL,
                       "several paired printers have this name (" + addresses +
                           "): give the address of one as --port",
                       text);
        return false;
    }
    *port = serial.front()->address;
    return true;
}

}  // namespace rtq
