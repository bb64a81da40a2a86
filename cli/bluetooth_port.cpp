#include "cli/bluetooth_port.h"

#include "engine/result_codes.h"
#include "platform/last_error.h"
#include "ports/bluetooth_address.h"
#include "ports/bluetooth_printers.h"
#include "ports/device_names.h"
#include "ports/bluetooth_devices.h"

namespace rtq::cli {

int ResolveBluetoothPrinter(std::string* port) {
    if (ComPortNumber(*port) != 0 || port->find('/') != std::string::npos ||
        IsBluetoothTarget(*port))
        return kResultSuccess;
    std::string address;
    LastError cause;
    if (!ResolveBluetoothPort(ReadBluetoothState(), *port, &address, &cause)) {
        SetLastError(cause);
        return kResultPortOpenFailed;
    }
    *port = address;
    return kResultSuccess;
}

}  // namespace rtq::cli
