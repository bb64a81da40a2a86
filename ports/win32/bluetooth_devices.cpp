#include "ports/bluetooth_devices.h"

namespace rtq {

// On Windows a paired printer is reached through the COM port its
// Bluetooth settings gave it; printers are not looked up by name here.
BluetoothState ReadBluetoothState() {
    BluetoothState state;
    state.error =
        "Bluetooth printers are reached through their COM port on Windows (see the printer's "
        "Bluetooth settings, \"More Bluetooth options\", COM Ports)";
    return state;
}

}  // namespace rtq
