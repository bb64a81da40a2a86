#include "ports/linux/linux_usb_backend.h"

#include <fcntl.h>
#include <linux/lp.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <string>

#include "platform/clock.h"
#include "platform/last_error.h"

// No user header defines the printer-class device-id request.
#ifndef LPIOC_GET_DEVICE_ID
#define LPIOC_GET_DEVICE_ID(len) _IOC(_IOC_READ, 'P', 1, len)
#endif

// The kernel's name for the target thread of SIGEV_THREAD_ID; older C
// libraries keep the field but do not name it.
#ifndef sigev_notify_thread_id
#define sigev_notify_thread_id _sigev_un._tid
#endif

namespace rtq {

namespace {

// Stores the text and leaves errno at err, for callers that keep errno
// themselves.
bool Fail(int err) {
    SetLastErrorFromErrno(err);
    errno = err;
    return false;
}

UsbWriteStatus WriteFailed(int err) {
    Fail(err);
    // EPIPE and ECONNRESET come from a stand-in whose other end went away:
    // the same case as an unplugged printer.
    const bool gone = err == ENODEV || err == ESHUTDOWN || err == EIO ||
                      err == EBADF || err == EPIPE || err == ECONNRESET;
    return gone ? UsbWriteStatus::InvalidHandle : UsbWriteStatus::Error;
}

constexpr short kTrouble = POLLERR | POLLHUP | POLLNVAL;

// A blocking write to usblp can only be cut short by a signal: the timer
// sends this one to the writing thread alone, and its handler, installed
// without SA_RESTART and doing nothing, makes the write return EINTR.
int TimerSignal() {
    static const int signo = [] {
        const int sig = SIGRTMIN + 3;
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        sigaction(sig, &action, nullptr);
        return sig;
    }();
    return signo;
}

class WriteTimer {
public:
    WriteTimer() {
        sigevent ev{};
        ev.sigev_notify = SIGEV_THREAD_ID;
        ev.sigev_signo = TimerSignal();
        ev.sigev_notify_thread_id = static_cast<pid_t>(syscall(SYS_gettid));
        m_ok = timer_create(CLOCK_MONOTONIC, &ev, &m_timer) == 0;
    }
    ~WriteTimer() {
        if (m_ok) timer_delete(m_timer);
    }
    WriteTimer(const WriteTimer&) = delete;
    WriteTimer& operator=(const WriteTimer&) = delete;

    bool Arm(int64_t ms) {
        if (!m_ok) return false;
        itimerspec due{};
        due.it_value.tv_sec = static_cast<time_t>(ms / 1000);
        due.it_value.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
        return timer_settime(m_timer, 0, &due, nullptr) == 0;
    }
    void Disarm() {
        if (!m_ok) return;
        itimerspec off{};
        timer_settime(m_timer, 0, &off, nullptr);
    }

private:
    timer_t m_timer{};
    bool m_ok = false;
};

}  // namespace

struct LinuxUsbBackend::Port {
    Port(UsbSyscalls& s, int f, int w) : sys(s), fd(f), wakeFd(w) {}
    ~Port() {
        if (fd >= 0) sys.Close(fd);
        sys.Close(wakeFd);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // Lets every present and future wait on this port return at once.
    void Wake() {
        const uint64_t one = 1;
        // A counter that cannot take more is already set: nothing to do.
        RetryOnEintr([&] { return sys.Write(wakeFd, &one, sizeof one); });
    }

    // Fills p[0] with the device and p[1] with the wake-up descriptor.
    void PollSet(pollfd* p, short events) const {
        p[0] = pollfd{fd, events, 0};
        p[1] = pollfd{wakeFd, POLLIN, 0};
    }

    UsbSyscalls& sys;
    int fd;  // -1 once Close has closed it
    const int wakeFd;
    std::mutex mutex;
    std::condition_variable idle;
    int calls = 0;  // calls in progress
};

// Keeps a port open for the length of one call.
class LinuxUsbBackend::Call {
public:
    Call() = default;
    explicit Call(std::shared_ptr<Port> port) : m_port(std::move(port)) {}
    ~Call() {
        if (!m_port) return;
        std::lock_guard<std::mutex> lk(m_port->mutex);
        if (--m_port->calls == 0) m_port->idle.notify_all();
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    Call(Call&& other) noexcept : m_port(std::move(other.m_port)) {}
    Call& operator=(Call&&) = delete;

    explicit operator bool() const { return m_port != nullptr; }
    Port* operator->() const { return m_port.get(); }

private:
    std::shared_ptr<Port> m_port;
};

LinuxUsbBackend::LinuxUsbBackend(int64_t writeStallMs, UsbSyscalls& sys)
    : m_writeStallMs(writeStallMs), m_sys(sys) {}

LinuxUsbBackend::~LinuxUsbBackend() = default;

LinuxUsbBackend::Call LinuxUsbBackend::Find(HANDLE h) {
    // Counted while still in the table, so Close cannot miss the call.
    std::shared_ptr<Port> port = m_ports.Find(h, [](Port& p) {
        std::lock_guard<std::mutex> portLock(p.mutex);
        ++p.calls;
    });
    return port ? Call(std::move(port)) : Call();
}

bool LinuxUsbBackend::FindDevicePath(std::string* path) {
    UsbLookupResult found = FindUsbPrinterNode();
    if (path) *path = found.path;
    if (!found.refusal.empty()) {
        // A cause found here, not by a system call: it carries no number.
        SetLastError({found.refusal, 0, WantedUsbPrinter()});
    } else if (!found.Found()) {
        // The first refusal says most about why; with nothing attached
        // there is no device.
        if (found.attempts.empty())
            Fail(ENODEV);
        else
            SetLastErrorFromErrno(found.attempts.front().error, found.attempts.front().path);
    }
    const bool ok = found.Found();
    std::lock_guard<std::mutex> lk(m_mutex);
    m_lastLookup = std::move(found);
    return ok;
}

UsbLookupResult LinuxUsbBackend::LastLookup() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_lastLookup;
}

HANDLE LinuxUsbBackend::Open(const std::string& path) {
    const int fd =
        RetryOnEintr([&] { return m_sys.Open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0) {
        SetLastErrorFromErrno(errno, path);
        return INVALID_HANDLE_VALUE;
    }
    return Adopt(fd);
}

HANDLE LinuxUsbBackend::Adopt(int fd) {
    if (fd < 0) {
        Fail(EBADF);
        return INVALID_HANDLE_VALUE;
    }
    const int flags = RetryOnEintr([&] { return m_sys.GetFlags(fd); });
    const int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (flags < 0 || RetryOnEintr([&] { return m_sys.SetFlags(fd, flags | O_NONBLOCK); }) != 0 ||
        wakeFd < 0) {
        const int err = errno;
        if (wakeFd >= 0) m_sys.Close(wakeFd);
        m_sys.Close(fd);
        Fail(err);
        return INVALID_HANDLE_VALUE;
    }
    return m_ports.Add(std::make_shared<Port>(m_sys, fd, wakeFd));
}

bool LinuxUsbBackend::Request(HANDLE h, unsigned long request, void* arg) {
    Call port = Find(h);
    if (!port) return Fail(EBADF);
    if (RetryOnEintr([&] { return m_sys.Ioctl(port->fd, request, arg); }) != 0)
        return Fail(errno);
    return true;
}

bool LinuxUsbBackend::GetDeviceId(HANDLE h) {
    // Comes back as a two-byte big-endian length and the id text; neither
    // is looked at.
    unsigned char id[kDeviceIdBytes] = {};
    return Request(h, LPIOC_GET_DEVICE_ID(kDeviceIdBytes), id);
}

bool LinuxUsbBackend::GetPortStatus(HANDLE h) {
    int status = 0;
    return Request(h, LPGETSTATUS, &status);
}

UsbWriteStatus LinuxUsbBackend::Write(HANDLE h, const uint8_t* data,
                                      size_t len, size_t* written) {
    *written = 0;
    Call port = Find(h);
    if (!port) return WriteFailed(EBADF);

    // usblp tells a failed transfer only to a writer that waits for it: a
    // non-blocking write counts its transfer as done once submitted, so a
    // transfer lost as the printer goes would look written. The wait is a
    // blocking write, cut short by a timer when the printer takes nothing.
    const int flags = RetryOnEintr([&] { return m_sys.GetFlags(port->fd); });
    if (flags < 0 ||
        RetryOnEintr([&] { return m_sys.SetFlags(port->fd, flags & ~O_NONBLOCK); }) != 0)
        return WriteFailed(errno);
    WriteTimer timer;
    size_t done = 0;
    int64_t lastProgressMs = SteadyMs();
    UsbWriteStatus status = UsbWriteStatus::Ok;
    while (done < len) {
        const int64_t leftMs = lastProgressMs + m_writeStallMs - SteadyMs();
        if (leftMs <= 0 || !timer.Arm(leftMs)) {
            SetLastErrorText("USB write timed out: the printer took no data for " +
                             std::to_string(m_writeStallMs) + " ms");
            errno = ETIMEDOUT;
            status = UsbWriteStatus::Error;
            break;
        }
        // Interrupted (by the timer, or any other signal): round again,
        // where the stall bound is checked.
        const ssize_t n = m_sys.Write(port->fd, data + done, len - done);
        const int err = errno;
        timer.Disarm();
        if (n > 0) {
            done += static_cast<size_t>(n);
            *written = done;
            lastProgressMs = SteadyMs();
        } else if (n == 0) {
            status = WriteFailed(EIO);
            break;
        } else if (err != EINTR) {
            status = WriteFailed(err);
            break;
        }
    }
    // The other calls expect the descriptor as it was.
    RetryOnEintr([&] { return m_sys.SetFlags(port->fd, flags); });
    return status;
}

bool LinuxUsbBackend::WaitReadable(HANDLE h, int64_t timeoutMs) {
    Call port = Find(h);
    if (!port) return true;
    pollfd p[2];
    port->PollSet(p, POLLIN);
    const int r = PollUntil(m_sys, p, 2, SteadyMs() + std::max<int64_t>(timeoutMs, 0));
    if (r == 0) return false;
    if (r < 0) Fail(errno);
    return true;
}

bool LinuxUsbBackend::Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) {
    *got = 0;
    Call port = Find(h);
    if (!port) return Fail(EBADF);
    if (len == 0) return true;
    const ssize_t n = RetryOnEintr([&] { return m_sys.Read(port->fd, buf, len); });
    if (n > 0) {
        *got = static_cast<size_t>(n);
        return true;
    }
    if (n == 0) {
        // End of input with a hang-up: the device is gone. Without one it
        // was an empty transfer.
        short revents = 0;
        if (PollUntil(m_sys, port->fd, 0, SteadyMs(), &revents) > 0 && (revents & kTrouble))
            return Fail(EIO);
        return true;
    }
    if (errno == EAGAIN) return true;
    return Fail(errno);
}

void LinuxUsbBackend::Close(HANDLE h) {
    const std::shared_ptr<Port> port = m_ports.Take(h);
    if (!port) return;
    port->Wake();
    // Closed here unless a call fails to let go in time; then the last
    // call to return closes it, and the number cannot be reused under it.
    std::unique_lock<std::mutex> lk(port->mutex);
    if (ActiveClock().WaitFor(port->idle, lk, kCloseWaitMs,
                              [&] { return port->calls == 0; })) {
        m_sys.Close(port->fd);
        port->fd = -1;
    }
}

}  // namespace rtq
