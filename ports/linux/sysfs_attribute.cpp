#include "ports/linux/sysfs_attribute.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace rtq {

std::string ReadSysfsLine(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::string();
    std::string text;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        char buffer[kSysfsAttributeCap];
        size_t got = 0;
        while (got < sizeof buffer) {
            const ssize_t n = read(fd, buffer + got, sizeof buffer - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        text.assign(buffer, got);
    }
    close(fd);
    const size_t end = text.find('\n');
    if (end != std::string::npos) text.erase(end);
    if (text.size() > kSysfsLineCap) text.erase(kSysfsLineCap);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace rtq
