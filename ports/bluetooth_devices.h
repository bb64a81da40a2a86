#pragma once
// The adapters and devices the system's Bluetooth service knows (on Linux
// BlueZ, read over the system bus in one call of its object manager).
// Never throws: a service that cannot be reached gives a state that says
// so.

#include "ports/bluetooth_printers.h"

namespace rtq {

// Waits at most kBluezCallTimeoutMs for the answer.
BluetoothState ReadBluetoothState();

inline constexpr int kBluezCallTimeoutMs = 3000;

}  // namespace rtq
