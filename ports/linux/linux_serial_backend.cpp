#include "ports/linux/linux_serial_backend.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <type_traits>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "ports/device_names.h"
#include "ports/linux/descriptor_port.h"
#include "ports/linux/serial_syscalls.h"
#include "ports/linux/uucp_lock.h"

namespace rtq {

static_assert(std::is_same_v<speed_t, unsigned>, "speed_t must fit BaudToSpeed");

namespace {

// The device named in a refusal, with the lock file and the process that
// holds it.
std::string LockHolderText(const std::string& path, const std::string& lockPath, long owner) {
    if (owner <= 0) return path + " (locked by " + lockPath + ")";
    return path + " (locked by process " + std::to_string(owner) + " in " + lockPath + ")";
}

// Modem-line requests a device does not support (a pseudo-terminal).
bool NoModemLines(int err) { return err == ENOTTY || err == EINVAL; }

}  // namespace

struct LinuxSerialBackend::Port {
    Port(SerialSyscalls& s, int f, std::string key) : sys(s), fd(f), lockKey(std::move(key)) {}
    ~Port() {
        // Left set, the exclusive flag of a pty outlives close and refuses
        // the next open.
        RetryOnEintr([&] { return sys.Ioctl(fd, TIOCNXCL, nullptr); });
        RetryOnEintr([&] { return sys.Flock(fd, LOCK_UN); });
        sys.Close(fd);
        ReleasePortLock(lockKey);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    SerialSyscalls& sys;
    const int fd;
    const std::string lockKey;
    KeptSettings settings;
};

bool BaudToSpeed(uint32_t baud, unsigned* speed) {
    static const struct {
        uint32_t baud;
        speed_t speed;
    } kSpeeds[] = {
        {50, B50},         {75, B75},         {110, B110},
        {134, B134},       {150, B150},       {200, B200},
        {300, B300},       {600, B600},       {1200, B1200},
        {1800, B1800},     {2400, B2400},     {4800, B4800},
        {9600, B9600},     {19200, B19200},   {38400, B38400},
        {57600, B57600},   {115200, B115200}, {230400, B230400},
        {460800, B460800}, {500000, B500000}, {576000, B576000},
        {921600, B921600}, {1000000, B1000000},
    };
    for (const auto& s : kSpeeds) {
        if (s.baud == baud) {
            *speed = s.speed;
            return true;
        }
    }
    return false;
}

namespace {

uint32_t SpeedToBaud(speed_t speed) {
    for (uint32_t baud : {50u, 75u, 110u, 134u, 150u, 200u, 300u, 600u, 1200u,
                          1800u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u,
                          115200u, 230400u, 460800u, 500000u, 576000u, 921600u,
                          1000000u}) {
        unsigned s = 0;
        if (BaudToSpeed(baud, &s) && s == speed) return baud;
    }
    return 0;
}

// The line settings a freshly opened device has, as a DCB.
DCB DcbFromTermios(const termios& tio) {
    DCB dcb;
    dcb.BaudRate = SpeedToBaud(cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5: dcb.ByteSize = 5; break;
        case CS6: dcb.ByteSize = 6; break;
        case CS7: dcb.ByteSize = 7; break;
        default: dcb.ByteSize = 8; break;
    }
    if (!(tio.c_cflag & PARENB))
        dcb.Parity = NOPARITY;
    else if (tio.c_cflag & CMSPAR)
        dcb.Parity = (tio.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
        dcb.Parity = (tio.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    dcb.fParity = (tio.c_iflag & INPCK) ? 1 : 0;
    dcb.StopBits = (tio.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fOutxCtsFlow = (tio.c_cflag & CRTSCTS) ? 1 : 0;
    dcb.fOutX = (tio.c_iflag & IXON) ? 1 : 0;
    dcb.fInX = (tio.c_iflag & IXOFF) ? 1 : 0;
    return dcb;
}

// Raises (or drops) a modem line; a device without modem lines is fine.
bool SetModemLine(SerialSyscalls& sys, int fd, int line, bool on) {
    if (RetryOnEintr([&] { return sys.Ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line); }) == 0)
        return true;
    return NoModemLines(errno);
}

bool HasModemLines(SerialSyscalls& sys, int fd) {
    int lines = 0;
    return RetryOnEintr([&] { return sys.Ioctl(fd, TIOCMGET, &lines); }) == 0 ||
           !NoModemLines(errno);
}

// A pseudo-terminal cannot do parity: the kernel drops PARENB, and the C
// library then reports the whole change as invalid when nothing else
// changed. Everything else having been applied, that is a success.
bool OnlyParityDropped(SerialSyscalls& sys, int fd, const termios& wanted) {
    termios got{};
    if (HasModemLines(sys, fd) || RetryOnEintr([&] { return sys.TcGetAttr(fd, &got); }) != 0)
        return false;
    const tcflag_t parity = PARENB | PARODD | CMSPAR;
    return (got.c_cflag & ~parity) == (wanted.c_cflag & ~parity) &&
           got.c_iflag == wanted.c_iflag &&
           cfgetospeed(&got) == cfgetospeed(&wanted);
}

// Whether the device lets output go: DSR high, or no modem lines at all.
// An adapter that is gone fails here: *err tells why.
bool DsrHigh(SerialSyscalls& sys, int fd, int* err) {
    *err = 0;
    int lines = 0;
    if (RetryOnEintr([&] { return sys.Ioctl(fd, TIOCMGET, &lines); }) != 0) {
        if (!NoModemLines(errno)) *err = errno;
        return true;
    }
    return (lines & TIOCM_DSR) != 0;
}

}  // namespace

LinuxSerialBackend::LinuxSerialBackend(SerialSyscalls& sys) : m_sys(sys) {}

LinuxSerialBackend::~LinuxSerialBackend() = default;

std::shared_ptr<LinuxSerialBackend::Port> LinuxSerialBackend::Find(HANDLE h) {
    return m_ports.Find(h);
}

HANDLE LinuxSerialBackend::Open(const std::string& name) {
    const std::string path = DevicePathForPort(name);
    // The lock file first: a port another program reserved stays untouched,
    // even while it is closed between two opens of that program's run.
    std::string lockKey;
    int err = 0;
    long owner = 0;
    if (!AcquirePortLock(path, &lockKey, &err, &owner)) {
        SetLastErrorFromErrno(err, err == EBUSY ? LockHolderText(path, lockKey, owner) : path);
        return INVALID_HANDLE_VALUE;
    }
    // O_NONBLOCK keeps open from waiting for carrier; reads and writes wait
    // through poll, so the descriptor stays non-blocking.
    const int fd = RetryOnEintr(
        [&] { return m_sys.Open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0) {
        err = errno;
        ReleasePortLock(lockKey);
        SetLastErrorFromErrno(err, path);
        return INVALID_HANDLE_VALUE;
    }
    // The advisory lock next: a port somebody else holds must be left
    // untouched, including its exclusive flag.
    if (RetryOnEintr([&] { return m_sys.Flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
        err = errno == EWOULDBLOCK ? EBUSY : errno;
        m_sys.Close(fd);
        ReleasePortLock(lockKey);
        SetLastErrorFromErrno(err, path);
        return INVALID_HANDLE_VALUE;
    }
    // From here the port object closes the descriptor and releases the lock.
    auto port = std::make_shared<Port>(m_sys, fd, lockKey);
    termios tio{};
    if (RetryOnEintr([&] { return m_sys.TcGetAttr(fd, &tio); }) != 0 ||
        RetryOnEintr([&] { return m_sys.Ioctl(fd, TIOCEXCL, nullptr); }) != 0) {
        SetLastErrorFromErrno(errno, path);
        return INVALID_HANDLE_VALUE;
    }
    // Binary data from the first byte on: a tty in cooked mode alters it.
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (RetryOnEintr([&] { return m_sys.TcSetAttr(fd, TCSANOW, &tio); }) != 0) {
        SetLastErrorFromErrno(errno, path);
        return INVALID_HANDLE_VALUE;
    }
    RetryOnEintr([&] { return m_sys.TcGetAttr(fd, &tio); });
    port->settings.SetDcb(DcbFromTermios(tio));

    return m_ports.Add(std::move(port));
}

bool LinuxSerialBackend::GetState(HANDLE h, DCB* dcb) { return GetKeptState(Find(h), dcb); }

bool LinuxSerialBackend::SetState(HANDLE h, const DCB& dcb) {
    auto port = Find(h);
    if (!port) return FailWithErrno(EBADF);
    termios tio{};
    SerialSyscalls& sys = port->sys;
    const int fd = port->fd;
    if (RetryOnEintr([&] { return sys.TcGetAttr(fd, &tio); }) != 0) return FailWithErrno(errno);
    cfmakeraw(&tio);

    speed_t speed = 0;
    if (!BaudToSpeed(dcb.BaudRate, &speed)) return FailWithErrno(EINVAL);
    if (cfsetspeed(&tio, speed) != 0) return FailWithErrno(errno);

    tio.c_cflag &= ~CSIZE;
    switch (dcb.ByteSize) {
        case 5: tio.c_cflag |= CS5; break;
        case 6: tio.c_cflag |= CS6; break;
        case 7: tio.c_cflag |= CS7; break;
        case 8: tio.c_cflag |= CS8; break;
        default: return FailWithErrno(EINVAL);
    }

    tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (dcb.Parity) {
        case NOPARITY: break;
        case ODDPARITY: tio.c_cflag |= PARENB | PARODD; break;
        case EVENPARITY: tio.c_cflag |= PARENB; break;
        case MARKPARITY: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
        case SPACEPARITY: tio.c_cflag |= PARENB | CMSPAR; break;
        default: return FailWithErrno(EINVAL);
    }
    if (dcb.fParity)
        tio.c_iflag |= INPCK;
    else
        tio.c_iflag &= ~INPCK;

    switch (dcb.StopBits) {
        case ONESTOPBIT: tio.c_cflag &= ~CSTOPB; break;
        // With 5 data bits the UART sends 1.5 stop bits for CSTOPB.
        case ONE5STOPBITS:
        case TWOSTOPBITS: tio.c_cflag |= CSTOPB; break;
        default: return FailWithErrno(EINVAL);
    }

    if (dcb.fOutxCtsFlow)
        tio.c_cflag |= CRTSCTS;
    else
        tio.c_cflag &= ~CRTSCTS;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (dcb.fOutX) tio.c_iflag |= IXON;
    if (dcb.fInX) tio.c_iflag |= IXOFF;
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;

    if (RetryOnEintr([&] { return sys.TcSetAttr(fd, TCSANOW, &tio); }) != 0) {
        const int err = errno;
        if (err != EINVAL || !OnlyParityDropped(sys, fd, tio)) return FailWithErrno(err);
    }
    if (!SetModemLine(sys, fd, TIOCM_DTR, dcb.fDtrControl != DTR_CONTROL_DISABLE) ||
        !SetModemLine(sys, fd, TIOCM_RTS, dcb.fRtsControl != RTS_CONTROL_DISABLE))
        return FailWithErrno(errno);

    port->settings.SetDcb(dcb);
    return true;
}

bool LinuxSerialBackend::GetTimeouts(HANDLE h, COMMTIMEOUTS* t) {
    return GetKeptTimeouts(Find(h), t);
}

bool LinuxSerialBackend::SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) {
    return KeepTimeouts(Find(h), t);
}

bool LinuxSerialBackend::Write(HANDLE h, const uint8_t* data, size_t len,
                               size_t* written) {
    *written = 0;
    auto port = Find(h);
    if (!port) return FailWithErrno(EBADF);
    SerialSyscalls& sys = port->sys;
    const int fd = port->fd;
    const bool dsrPaced = port->settings.Dcb().fOutxDsrFlow != 0;
    const int64_t endMs = port->settings.WriteEndMs();

    size_t done = 0;
    while (done < len) {
        // Hold each piece back while the printer keeps DSR low; give up on
        // the rest once the write time-out has run out.
        if (dsrPaced) {
            int err = 0;
            while (!DsrHigh(sys, fd, &err)) {
                if (SteadyMs() >= endMs) {
                    *written = done;
                    return true;
                }
                SleepMs(kDsrPollMs);
            }
            if (err != 0) {
                *written = done;
                return FailWithErrno(err);
            }
        }
        const size_t chunk = std::min(kChunkBytes, len - done);
        size_t sent = 0;
        while (sent < chunk) {
            const ssize_t n =
                RetryOnEintr([&] { return sys.Write(fd, data + done + sent, chunk - sent); });
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN) {
                *written = done + sent;
                return FailWithErrno(errno);
            }
            // Output buffer full: wait for room until the time-out.
            if (SteadyMs() >= endMs) {
                *written = done + sent;
                return true;
            }
            short revents = 0;
            const int r = PollUntil(sys, fd, POLLOUT, endMs, &revents);
            if (r < 0 || (r > 0 && (revents & (POLLERR | POLLHUP | POLLNVAL)))) {
                *written = done + sent;
                return FailWithErrno(r < 0 ? errno : EIO);
            }
        }
        done += chunk;
        // An adapter pulled out fails here rather than at the next piece.
        if (RetryOnEintr([&] { return sys.TcDrain(fd); }) != 0) {
            *written = done;
            return FailWithErrno(errno);
        }
    }
    *written = done;
    return true;
}

bool LinuxSerialBackend::Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) {
    *got = 0;
    auto port = Find(h);
    if (!port) return FailWithErrno(EBADF);
    if (len == 0) return true;
    SerialSyscalls& sys = port->sys;
    const int fd = port->fd;
    return ReadWithin(sys, fd, port->settings.ReadEndMs(), got, [&](short revents, size_t* n) {
        if (!(revents & POLLIN)) return EIO;  // hang-up or error
        const ssize_t r = RetryOnEintr([&] { return sys.Read(fd, buf, len); });
        if (r > 0) {
            *n = static_cast<size_t>(r);
            return 0;
        }
        if (r == 0) return EIO;  // end of file: the line is gone
        return errno == EAGAIN ? 0 : errno;
    });
}

bool LinuxSerialBackend::PurgeInput(HANDLE h) {
    auto port = Find(h);
    if (!port) return FailWithErrno(EBADF);
    if (RetryOnEintr([&] { return port->sys.TcFlush(port->fd, TCIFLUSH); }) != 0)
        return FailWithErrno(errno);
    return true;
}

bool LinuxSerialBackend::Reserve(const std::string& name) {
    const std::string path = DevicePathForPort(name);
    std::string key;
    int err = 0;
    long owner = 0;
    if (!AcquirePortLock(path, &key, &err, &owner)) {
        SetLastErrorFromErrno(err, err == EBUSY ? LockHolderText(path, key, owner) : path);
        return false;
    }
    std::lock_guard<std::mutex> lk(m_mutex);
    m_reservations.emplace(name, key);
    return true;
}

void LinuxSerialBackend::Unreserve(const std::string& name) {
    std::string key;
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        auto it = m_reservations.find(name);
        if (it == m_reservations.end()) return;
        key = it->second;
        m_reservations.erase(it);
    }
    ReleasePortLock(key);
}

void LinuxSerialBackend::Close(HANDLE h) {
    // The descriptor closes here, or when the last call using it returns.
    m_ports.Take(h);
}

}  // namespace rtq
