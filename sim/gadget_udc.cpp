#include "sim/gadget_udc.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rtq::sim {

namespace {

std::string Trimmed(const std::string& s) {
    const char* space = " \t\r\n";
    const size_t begin = s.find_first_not_of(space);
    if (begin == std::string::npos) return {};
    return s.substr(begin, s.find_last_not_of(space) - begin + 1);
}

}  // namespace

GadgetUdc::GadgetUdc(std::string gadgetDir) : m_path(std::move(gadgetDir) + "/UDC") {}

bool GadgetUdc::Load(std::string* error) {
    const int fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = m_path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char buf[256];
    while (text.size() < 4096) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = m_path + ": " + std::strerror(errno);
            close(fd);
            return false;
        }
        if (n == 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    m_controller = Trimmed(text);
    if (m_controller.empty()) {
        *error = m_path + " is empty: the gadget is not plugged in (bind it first)";
        return false;
    }
    return true;
}

bool GadgetUdc::Store(const std::string& value, std::string* error) {
    const std::string line = value + "\n";
    const int fd = open(m_path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        *error = m_path + ": " + std::strerror(errno);
        return false;
    }
    ssize_t n;
    do {
        n = write(fd, line.data(), line.size());
    } while (n < 0 && errno == EINTR);
    // A short write of one line is an error too; configfs reports a
    // refused value (busy or unknown controller) through write or close.
    int err = n < 0 ? errno : n != static_cast<ssize_t>(line.size()) ? EIO : 0;
    if (close(fd) != 0 && err == 0) err = errno;
    if (err != 0) {
        *error = "writing '" + value + "' to " + m_path + ": " + std::strerror(err);
        return false;
    }
    return true;
}

}  // namespace rtq::sim
