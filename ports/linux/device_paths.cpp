#include <sys/stat.h>

#include <cstdlib>

#include "ports/device_names.h"

namespace rtq {

namespace {

constexpr const char* kFamilies[] = {"ttyS", "ttyUSB", "ttyACM", "rfcomm"};
constexpr int kPortsPerFamily = 16;
static_assert(kPortsPerFamily * 4 == kLastComPort);

}  // namespace

std::string DeviceRoot() {
    const char* root = std::getenv("RTQFLASH_DEVICE_ROOT");
    std::string r = (root && *root) ? root : "/dev";
    while (r.size() > 1 && r.back() == '/') r.pop_back();
    return r;
}

std::string DevicePathForPort(const std::string& name) {
    const int n = ComPortNumber(name);
    if (n <= 0) return name;
    const int index = n - 1;
    return DeviceRoot() + "/" + kFamilies[index / kPortsPerFamily] +
           std::to_string(index % kPortsPerFamily);
}

bool PortDevicePresent(const std::string& name) {
    struct stat st {};
    return stat(DevicePathForPort(name).c_str(), &st) == 0;
}

}  // namespace rtq
