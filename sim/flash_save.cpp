#include "sim/flash_save.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace rtq::sim {

bool SaveFlashAtomically(const SimPrinter& printer, const std::string& path,
                         std::string* error) {
    const std::string temp = path + ".tmp";
    if (!printer.SaveFlash(temp, error)) return false;
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        *error = path + ": " + std::strerror(errno);
        unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace rtq::sim
