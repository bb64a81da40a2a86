#include "cli/port_name.h"

#include "engine/result_codes.h"
#include "ports/device_names.h"

namespace rtq::cli {

int ResolvePort(const std::string& text, std::string* devicePath) {
    if (text.empty()) return kResultBadPort;
    const int com = ComPortNumber(text);
    if (com < 0) return kResultBadPort;
    *devicePath = com > 0 ? "\\\\.\\" + ComPortName(com) : text;
    return kResultSuccess;
}

}  // namespace rtq::cli
