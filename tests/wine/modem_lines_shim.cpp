// Test-only, preloaded into a Wine program: gives pseudo-terminals modem
// lines, so that GetCommModemStatus and EscapeCommFunction work on a port
// linked to rtqsim's pseudo-terminal as on a serial port. DSR is read from
// the file named by RTQ_MODEM_LINES at every query ("0": low, else high);
// DTR and RTS changes are accepted.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

namespace {

bool DsrHigh() {
    const char* path = std::getenv("RTQ_MODEM_LINES");
    if (!path) return true;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return true;
    char c = '1';
    const bool low = read(fd, &c, 1) == 1 && c == '0';
    close(fd);
    return !low;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    using Real = int (*)(int, unsigned long, ...);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "ioctl"));
    const int r = real(fd, request, arg);
    // Only what a pseudo-terminal refuses is answered here.
    if (r == 0 || errno != ENOTTY || !isatty(fd)) return r;
    switch (request) {
        case TIOCMGET:
            *static_cast<int*>(arg) =
                TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_CD | (DsrHigh() ? TIOCM_DSR : 0);
            return 0;
        case TIOCMSET:
        case TIOCMBIS:
        case TIOCMBIC:
            return 0;
        default:
            errno = ENOTTY;
            return r;
    }
}
