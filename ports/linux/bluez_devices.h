#pragma once
// The adapters and devices BlueZ knows, read over the system bus in one
// call (its object manager). Never throws: a bus or service that cannot
// be reached gives a state that says so.

#include "ports/bluetooth_printers.h"

namespace rtq {

// Waits at most kBluezCallTimeoutMs for the answer.
BluetoothState ReadBluetoothState();

inline constexpr int kBluezCallTimeoutMs = 3000;

}  // namespace rtq
