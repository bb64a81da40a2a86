#pragma once
// The --port of a Bluetooth run: COMn and device paths stay ttys (a bound
// /dev/rfcommN); a printer's address is connected directly; any other text
// is the name of a paired printer, looked up in the Bluetooth service.

#include <string>

namespace rtq::cli {

// Replaces *port by the address to connect where it names a printer.
// kResultSuccess, or kResultPortOpenFailed with the cause stored as the
// last error.
int ResolveBluetoothPrinter(std::string* port);

}  // namespace rtq::cli
