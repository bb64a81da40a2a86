#include <windows.h>

#include "ports/device_names.h"

namespace rtq {

std::string DeviceRoot() { return "\\\\.\\"; }

std::string DevicePathForPort(const std::string& name) {
    const int n = ComPortNumber(name);
    if (n <= 0) return name;
    return DeviceRoot() + ComPortName(n);
}

bool PortDevicePresent(const std::string& name) {
    const int n = ComPortNumber(name);
    if (n <= 0) return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
    // The system's device names: a port that is not there has none.
    char target[512];
    return QueryDosDeviceA(ComPortName(n).c_str(), target, sizeof target) != 0;
}

}  // namespace rtq
