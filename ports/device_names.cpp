#include "ports/device_names.h"

#include <sys/stat.h>

#include <cstdlib>

namespace rtq {

namespace {

constexpr const char* kFamilies[] = {"ttyS", "ttyUSB", "ttyACM", "rfcomm"};
constexpr int kPortsPerFamily = 16;

// n of "COMn" (1..64, decimal digits only, no leading zero); 0 otherwise.
int PortNumber(const std::string& name) {
    std::string rest = name;
    if (rest.rfind("\\\\.\\", 0) == 0) rest = rest.substr(4);
    // Port names are not case-sensitive ("com3" is COM3).
    if (rest.size() < 4 || rest.size() > 5 || (rest[0] | 0x20) != 'c' ||
        (rest[1] | 0x20) != 'o' || (rest[2] | 0x20) != 'm')
        return 0;
    int n = 0;
    for (size_t i = 3; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    if (rest[3] == '0') return 0;
    return n >= 1 && n <= 4 * kPortsPerFamily ? n : 0;
}

}  // namespace

std::string DeviceRoot() {
    const char* root = std::getenv("RTQFLASH_DEVICE_ROOT");
    std::string r = (root && *root) ? root : "/dev";
    while (r.size() > 1 && r.back() == '/') r.pop_back();
    return r;
}

std::string DevicePathForPort(const std::string& name) {
    const int n = PortNumber(name);
    if (n == 0) return name;
    const int index = n - 1;
    return DeviceRoot() + "/" + kFamilies[index / kPortsPerFamily] +
           std::to_string(index % kPortsPerFamily);
}

bool PortDevicePresent(const std::string& name) {
    struct stat st {};
    return stat(DevicePathForPort(name).c_str(), &st) == 0;
}

}  // namespace rtq
