#pragma once
// The paired Bluetooth printers as the system's Bluetooth service knows
// them, and a --port text (a printer's name or address) turned into the
// address the RFCOMM backend connects. The service is read elsewhere
// (ports/bluetooth_devices.h); this part only decides.

#include <string>
#include <vector>

#include "platform/last_error.h"

namespace rtq {

// The Serial Port Profile, the printer's one service.
inline constexpr char kSerialPortUuid[] = "00001101-0000-1000-8000-00805f9b34fb";

struct BluetoothAdapterState {
    std::string objectPath;
    bool powered = false;
};

struct BluetoothDeviceState {
    std::string objectPath;
    std::string address;  // "00:AA:01:01:00:01"
    std::string name;     // as the device announces it; may be empty
    std::string alias;    // the name the user sees (the name unless renamed)
    bool paired = false;
    bool connected = false;
    std::vector<std::string> uuids;
};

struct BluetoothState {
    // False when the Bluetooth service could not be asked; error says why.
    bool serviceReachable = false;
    std::string error;
    std::vector<BluetoothAdapterState> adapters;
    std::vector<BluetoothDeviceState> devices;
};

struct BluetoothPrinter {
    std::string name;
    std::string address;
    bool paired = false;
    bool connected = false;
};

bool OffersSerialPort(const BluetoothDeviceState& d);

// The paired devices that offer the serial port service, in the service's
// order.
std::vector<BluetoothPrinter> PairedSerialPrinters(const BluetoothState& state);

// Whether printers can be looked up at all: the service answered and has
// an adapter that is on. False with the cause in *error (ENETDOWN).
bool BluetoothUsable(const BluetoothState& state, LastError* error);

// The port name the RFCOMM backend takes for text: an address (with or
// without its channel) is taken as it is; a name must be one paired
// printer's. False with the cause in *error (the number picks the hint):
// no service or adapter, adapter off, not paired, no serial port service,
// a name that several printers share.
bool ResolveBluetoothPort(const BluetoothState& state, const std::string& text,
                          std::string* port, LastError* error);

}  // namespace rtq
