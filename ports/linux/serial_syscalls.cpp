#include "ports/linux/serial_syscalls.h"

#include <sys/file.h>

namespace rtq {

int SerialSyscalls::TcGetAttr(int fd, termios* t) { return tcgetattr(fd, t); }
int SerialSyscalls::TcSetAttr(int fd, int action, const termios* t) { return tcsetattr(fd, action, t); }
int SerialSyscalls::TcFlush(int fd, int queue) { return tcflush(fd, queue); }
int SerialSyscalls::TcDrain(int fd) { return tcdrain(fd); }
int SerialSyscalls::Flock(int fd, int operation) { return flock(fd, operation); }

SerialSyscalls& SystemSerialSyscalls() {
    static SerialSyscalls calls;
    return calls;
}

}  // namespace rtq
