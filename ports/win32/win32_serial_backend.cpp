#include "ports/win32/win32_serial_backend.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <mutex>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/win32/system_error.h"
#include "ports/device_names.h"

namespace rtq {

namespace {

// Write waits when the port never had a write time-out.
constexpr int64_t kDefaultWriteBudgetMs = 3000;

// A handle this backend did not issue, or one closed already.
bool NotOpen() {
    SetLastErrorFromSystem(win32::kErrorInvalidHandle);
    return false;
}

// A COM port refuses a second open with "access denied": another program
// has it, which is what the operator needs to hear.
int PortErrnoClass(uint32_t code) {
    return code == win32::kErrorAccessDenied ? EBUSY : ErrnoClassOf(code);
}

win32::CommDcb ToSystem(const DCB& d) {
    win32::CommDcb s;
    s.BaudRate = d.BaudRate;
    s.fBinary = d.fBinary;
    s.fParity = d.fParity;
    s.fOutxCtsFlow = d.fOutxCtsFlow;
    s.fOutxDsrFlow = d.fOutxDsrFlow;
    s.fDtrControl = d.fDtrControl;
    s.fDsrSensitivity = d.fDsrSensitivity;
    s.fTXContinueOnXoff = d.fTXContinueOnXoff;
    s.fOutX = d.fOutX;
    s.fInX = d.fInX;
    s.fErrorChar = d.fErrorChar;
    s.fNull = d.fNull;
    s.fRtsControl = d.fRtsControl;
    s.fAbortOnError = d.fAbortOnError;
    s.ByteSize = d.ByteSize;
    s.Parity = d.Parity;
    s.StopBits = d.StopBits;
    return s;
}

DCB FromSystem(const win32::CommDcb& s) {
    DCB d;
    d.BaudRate = s.BaudRate;
    d.fBinary = s.fBinary;
    d.fParity = s.fParity;
    d.fOutxCtsFlow = s.fOutxCtsFlow;
    d.fOutxDsrFlow = s.fOutxDsrFlow;
    d.fDtrControl = s.fDtrControl;
    d.fDsrSensitivity = s.fDsrSensitivity;
    d.fTXContinueOnXoff = s.fTXContinueOnXoff;
    d.fOutX = s.fOutX;
    d.fInX = s.fInX;
    d.fErrorChar = s.fErrorChar;
    d.fNull = s.fNull;
    d.fRtsControl = s.fRtsControl;
    d.fAbortOnError = s.fAbortOnError;
    d.ByteSize = s.ByteSize;
    d.Parity = s.Parity;
    d.StopBits = s.StopBits;
    return d;
}

}  // namespace

struct Win32SerialBackend::Port {
    Port(win32::SerialApi& a, win32::SysHandle s, std::string p)
        : api(a), sys(s), path(std::move(p)) {}
    ~Port() { api.Close(sys); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    win32::SerialApi& api;
    const win32::SysHandle sys;
    const std::string path;
    std::mutex mutex;  // guards the fields below
    uint32_t writeBudgetMs = 0;
    bool dsrPaced = false;
};

Win32SerialBackend::Win32SerialBackend(win32::SerialApi& api) : m_api(api) {}

Win32SerialBackend::~Win32SerialBackend() = default;

std::shared_ptr<Win32SerialBackend::Port> Win32SerialBackend::Find(HANDLE h) {
    return m_ports.Find(h);
}

bool Win32SerialBackend::Fail(const Port& port) {
    const uint32_t code = port.api.LastError();
    SetLastErrorFromSystem(code, PortErrnoClass(code), port.path);
    return false;
}

HANDLE Win32SerialBackend::Open(const std::string& name) {
    const std::string path = DevicePathForPort(name);
    const win32::SysHandle sys = m_api.Open(path.c_str());
    if (sys == win32::InvalidSysHandle() || sys == nullptr) {
        const uint32_t code = m_api.LastError();
        SetLastErrorFromSystem(code, PortErrnoClass(code), path);
        return INVALID_HANDLE_VALUE;
    }
    return m_ports.Add(std::make_shared<Port>(m_api, sys, path));
}

bool Win32SerialBackend::GetState(HANDLE h, DCB* dcb) {
    auto port = Find(h);
    if (!port) return NotOpen();
    win32::CommDcb s;
    if (!port->api.GetState(port->sys, &s)) return Fail(*port);
    *dcb = FromSystem(s);
    return true;
}

bool Win32SerialBackend::SetState(HANDLE h, const DCB& dcb) {
    auto port = Find(h);
    if (!port) return NotOpen();
    if (!port->api.SetState(port->sys, ToSystem(dcb))) return Fail(*port);
    std::lock_guard<std::mutex> lk(port->mutex);
    port->dsrPaced = dcb.fOutxDsrFlow != 0;
    return true;
}

bool Win32SerialBackend::GetTimeouts(HANDLE h, COMMTIMEOUTS* t) {
    auto port = Find(h);
    if (!port) return NotOpen();
    win32::CommTimeouts s;
    if (!port->api.GetTimeouts(port->sys, &s)) return Fail(*port);
    *t = COMMTIMEOUTS{s.ReadIntervalTimeout, s.ReadTotalTimeoutMultiplier,
                      s.ReadTotalTimeoutConstant, s.WriteTotalTimeoutMultiplier,
                      s.WriteTotalTimeoutConstant};
    return true;
}

bool Win32SerialBackend::SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) {
    auto port = Find(h);
    if (!port) return NotOpen();
    // The system applies the read semantics itself: with both read values
    // at MAXDWORD a read returns what is there, waits for the first byte,
    // or returns none after the constant.
    const win32::CommTimeouts s{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                                t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                                t.WriteTotalTimeoutConstant};
    if (!port->api.SetTimeouts(port->sys, s)) return Fail(*port);
    std::lock_guard<std::mutex> lk(port->mutex);
    port->writeBudgetMs = t.WriteTotalTimeoutConstant;
    return true;
}

bool Win32SerialBackend::Write(HANDLE h, const uint8_t* data, size_t len, size_t* written) {
    *written = 0;
    auto port = Find(h);
    if (!port) return NotOpen();
    bool dsrPaced = false;
    int64_t budgetMs = 0;
    {
        std::lock_guard<std::mutex> lk(port->mutex);
        dsrPaced = port->dsrPaced;
        budgetMs = port->writeBudgetMs;
    }
    if (budgetMs <= 0) budgetMs = kDefaultWriteBudgetMs;
    const int64_t endMs = SteadyMs() + budgetMs;

    size_t done = 0;
    do {
        // Each piece waits while the printer keeps DSR low; once the write
        // time-out has run out the rest stays unwritten.
        if (dsrPaced) {
            for (;;) {
                bool on = false;
                if (!port->api.DsrOn(port->sys, &on)) {
                    // A port that cannot report its modem lines (error 50: a
                    // pseudo-terminal under Wine, some virtual ports) counts
                    // as DSR high; any other failure is the port's.
                    if (port->api.LastError() != win32::kErrorNotSupported) {
                        *written = done;
                        return Fail(*port);
                    }
                    on = true;
                }
                if (on) break;
                if (SteadyMs() >= endMs) {
                    *written = done;
                    return true;
                }
                SleepMs(kDsrPollMs);
            }
        }
        const uint32_t chunk = static_cast<uint32_t>(std::min(kChunkBytes, len - done));
        uint32_t sent = 0;
        if (!port->api.Write(port->sys, data + done, chunk, &sent)) {
            *written = done + sent;
            return Fail(*port);
        }
        done += sent;
        // The system's write time-out ran out (flow control held it back).
        if (sent < chunk) break;
    } while (done < len);
    *written = done;
    return true;
}

bool Win32SerialBackend::Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) {
    *got = 0;
    auto port = Find(h);
    if (!port) return NotOpen();
    uint32_t n = 0;
    const uint32_t want = static_cast<uint32_t>(std::min<size_t>(len, UINT32_MAX));
    if (!port->api.Read(port->sys, buf, want, &n)) return Fail(*port);
    *got = n;
    return true;
}

bool Win32SerialBackend::PurgeInput(HANDLE h) {
    auto port = Find(h);
    if (!port) return NotOpen();
    if (!port->api.PurgeInput(port->sys)) return Fail(*port);
    return true;
}

void Win32SerialBackend::Close(HANDLE h) {
    // The device closes here, or when the last call using it returns.
    m_ports.Take(h);
}

}  // namespace rtq
