#include "ports/linux/rfcomm_backend.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "ports/bluetooth_address.h"
#include "ports/linux/descriptor_port.h"

namespace rtq {

namespace {

// Why a socket reported an error or hang-up: its pending error, or a reset
// when it has none (the printer closed the link).
int SocketFailure(RfcommSyscalls& sys, int fd) {
    const int err = sys.PendingError(fd);
    return err > 0 ? err : ECONNRESET;
}

}  // namespace

struct RfcommBackend::Port {
    Port(RfcommSyscalls& s, int f) : sys(s), fd(f) {}
    ~Port() { sys.Close(fd); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    RfcommSyscalls& sys;
    const int fd;
    KeptSettings settings;
};

RfcommBackend::RfcommBackend(RfcommSyscalls& sys) : m_sys(sys) {}

RfcommBackend::~RfcommBackend() = default;

std::shared_ptr<RfcommBackend::Port> RfcommBackend::Find(HANDLE h) { return m_ports.Find(h); }

bool RfcommBackend::Issued(HANDLE h) { return Find(h) != nullptr; }

int RfcommBackend::Connect(const sockaddr_rc& addr, int64_t endMs, std::shared_ptr<Port>* out) {
    out->reset();
    const int fd = m_sys.Socket();
    // No Bluetooth in this kernel gives EAFNOSUPPORT.
    if (fd < 0) return errno;
    // From here the port object closes the descriptor.
    auto port = std::make_shared<Port>(m_sys, fd);
    int err = 0;
    if (m_sys.Connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        err = errno;
        // Interrupted, the connect goes on in the background like one in
        // progress.
        if (err == EINPROGRESS || err == EINTR || err == EAGAIN) {
            short revents = 0;
            const int r = PollUntil(m_sys, fd, POLLOUT, endMs, &revents);
            if (r < 0)
                err = errno;
            else if (r == 0)
                err = ETIMEDOUT;
            else
                err = m_sys.PendingError(fd);
            if (err < 0) err = errno;
        }
    }
    if (err == 0) *out = std::move(port);
    return err;
}

HANDLE RfcommBackend::Open(const std::string& name) {
    BluetoothTarget target;
    if (!ParseBluetoothTarget(name, &target)) {
        SetLastErrorFromErrno(EINVAL, name);
        return INVALID_HANDLE_VALUE;
    }
    const int64_t endMs = SteadyMs() + kConnectTimeoutMs;
    if (target.channel == kLookUpChannel) {
        // A signal ends the library's wait for the answer: ask again.
        int err = 0;
        do {
            err = m_sys.SerialPortChannel(target.address, endMs, &target.channel);
        } while (err == EINTR && SteadyMs() < endMs);
        if (err == EPROTONOSUPPORT) {
            SetLastError(LastError{"the device offers no serial port service", err, name});
            return INVALID_HANDLE_VALUE;
        }
        if (err != 0) {
            SetLastErrorFromErrno(err, name);
            return INVALID_HANDLE_VALUE;
        }
    }
    sockaddr_rc addr{};
    addr.rc_family = AF_BLUETOOTH;
    // The kernel keeps the address least significant byte first.
    for (size_t i = 0; i < target.address.size(); ++i)
        addr.rc_bdaddr.b[i] = target.address[target.address.size() - 1 - i];
    addr.rc_channel = target.channel;
    std::shared_ptr<Port> port;
    int err = Connect(addr, endMs, &port);
    for (int attempt = 1; err == ECONNREFUSED && attempt < kRefusedAttempts &&
                          SteadyMs() + kRefusedPauseMs < endMs;
         ++attempt) {
        SleepMs(kRefusedPauseMs);
        err = Connect(addr, endMs, &port);
    }
    if (err != 0) {
        SetLastErrorFromErrno(err, name);
        return INVALID_HANDLE_VALUE;
    }
    // What a freshly opened tty reports; nothing of it reaches the printer.
    DCB dcb;
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    port->settings.SetDcb(dcb);

    return m_ports.Add(std::move(port));
}

bool RfcommBackend::GetState(HANDLE h, DCB* dcb) { return GetKeptState(Find(h), dcb); }

bool RfcommBackend::SetState(HANDLE h, const DCB& dcb) {
    auto port = Find(h);
    if (!port) return FailWithErrno(EBADF);
    // What a serial device would refuse is refused here too.
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS)
        return FailWithErrno(EINVAL);
    port->settings.SetDcb(dcb);
    return true;
}

bool RfcommBackend::GetTimeouts(HANDLE h, COMMTIMEOUTS* t) {
    return GetKeptTimeouts(Find(h), t);
}

bool RfcommBackend::SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) {
    return KeepTimeouts(Find(h), t);
}

bool RfcommBackend::Write(HANDLE h, const uint8_t* data, size_t len, size_t* written) {
    *written = 0;
    auto port = Find(h);
    if (!port) return FailWithErrno(EBADF);
    RfcommSyscalls& sys = port->sys;
    const int fd = port->fd;
    const int64_t endMs = port->settings.WriteEndMs();

    size_t done = 0;
    while (done < len) {
        const ssize_t n = RetryOnEintr([&] { return sys.Send(fd, data + done, len - done); });
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            *written = done;
            return FailWithErrno(errno);
        }
        // The link's buffer is full: wait for room until the time-out.
        if (SteadyMs() >= endMs) break;
        short revents = 0;
        const int r = PollUntil(sys, fd, POLLOUT, endMs, &revents);
        if (r < 0) {
            *written = done;
            return FailWithErrno(errno);
        }
        if (r > 0 && (revents & POLLNVAL)) {
            *written = done;
            return FailWithErrno(EBADF);
        }
        if (r > 0 && (revents & (POLLERR | POLLHUP))) {
            *written = done;
            return FailWithErrno(SocketFailure(sys, fd));
        }
    }
    *written = done;
    return true;
}

bool RfcommBackend::Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) {
    *got = 0;
    auto port = Find(h);
    if (!port) return FailWithErrno(EBADF);
    if (len == 0) return true;
    RfcommSyscalls& sys = port->sys;
    const int fd = port->fd;
    return ReadWithin(sys, fd, port->settings.ReadEndMs(), got, [&](short revents, size_t* n) {
        // Bytes that arrived before a hang-up are still read first.
        const ssize_t r = RetryOnEintr([&] { return sys.Recv(fd, buf, len, MSG_DONTWAIT); });
        if (r > 0) {
            *n = static_cast<size_t>(r);
            return 0;
        }
        if (r == 0) return ECONNRESET;  // the printer closed the link
        if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
        if (revents & (POLLERR | POLLHUP)) return SocketFailure(sys, fd);
        return 0;
    });
}

bool RfcommBackend::PurgeInput(HANDLE h) {
    auto port = Find(h);
    if (!port) return FailWithErrno(EBADF);
    uint8_t scrap[512];
    for (;;) {
        const ssize_t n = RetryOnEintr(
            [&] { return port->sys.Recv(port->fd, scrap, sizeof scrap, MSG_DONTWAIT); });
        if (n > 0) continue;
        if (n == 0) return FailWithErrno(ECONNRESET);
        if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
        return FailWithErrno(errno);
    }
}

void RfcommBackend::Close(HANDLE h) {
    // The socket closes here, or when the last call using it returns.
    m_ports.Take(h);
}

}  // namespace rtq
