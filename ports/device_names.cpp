#include "ports/device_names.h"

#include <cstdlib>

namespace rtq {

namespace {

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

}  // namespace rtq
