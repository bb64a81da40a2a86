#include "cli/port_name.h"

#include <cctype>

#include "engine/result_codes.h"

namespace rtq::cli {

namespace {

constexpr int kLastComPort = 64;

// The number of a "COMn" text (any case), 0 for anything else, -1 for a
// COM name whose number is out of range.
int ComNumber(const std::string& text) {
    if (text.size() < 4) return 0;
    for (size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i]) return 0;
    int number = 0;
    for (size_t i = 3; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return 0;
        if (number > kLastComPort) return -1;
        number = number * 10 + (text[i] - '0');
    }
    return number >= 1 && number <= kLastComPort ? number : -1;
}

}  // namespace

int ResolvePort(const std::string& text, std::string* devicePath) {
    if (text.empty()) return kResultBadPort;
    const int com = ComNumber(text);
    if (com < 0) return kResultBadPort;
    *devicePath = com > 0 ? "\\\\.\\COM" + std::to_string(com) : text;
    return kResultSuccess;
}

}  // namespace rtq::cli
