#include "ports/device_names.h"

#include <sys/stat.h>

#include <cstdlib>

namespace rtq {

namespace {

constexpr const char* kFamilies[] = {"ttyS", "ttyUSB", "ttyACM", "rfcomm"};
constexpr int kPortsPerFamily = 16;
static_assert(kPortsPerFamily * 4 == kLastComPort);

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int ComPortNumber(const std::string& name) {
    std::string rest = name;
    if (rest.rfind("\\\\.\\", 0) == 0) rest = rest.substr(4);
    // Port names are not case-sensitive ("com3" is COM3).
    if (rest.size() < 4 || (rest[0] | 0x20) != 'c' || (rest[1] | 0x20) != 'o' ||
        (rest[2] | 0x20) != 'm')
        return 0;
    for (size_t i = 3; i < rest.size(); ++i)
        if (!IsDigit(rest[i])) return 0;
    // No list entry has a leading zero or more than two digits.
    if (rest[3] == '0' || rest.size() > 5) return -1;
    const int n = std::atoi(rest.c_str() + 3);
    return n <= kLastComPort ? n : -1;
}

std::string ComPortName(int number) { return "COM" + std::to_string(number); }

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
