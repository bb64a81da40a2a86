#include "ports/win32/win32_usb_backend.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/last_error.h"
#include "platform/win32/system_error.h"
#include "ports/win32/usb_registry.h"

namespace rtq {

using win32::OverlappedIo;
using win32::SysHandle;
using win32::WaitResult;

bool UsbDeviceGone(uint32_t code) {
    // Only a removal aborts a transfer this backend did not cancel.
    return code == win32::kErrorOperationAborted || UsbDeviceMissing(code);
}

namespace {

// A cancelled request the driver has not finished after this long is
// abandoned, its record and buffer with it.
constexpr uint32_t kCancelWaitMs = 1000;

bool Valid(SysHandle h) { return h != nullptr && h != win32::InvalidSysHandle(); }

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

uint32_t WaitMs(int64_t ms) {
    return static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, UINT32_MAX - 1));
}

// An overlapped request's record, buffer and event. Owned by the caller
// until a request could not be taken back: then it is let go of, since
// the system may still write into it.
struct IoSlot {
    IoSlot(win32::UsbApi& a, size_t bytes) : api(a), buf(bytes), event(a.NewEvent()) {}
    ~IoSlot() {
        if (Valid(event)) api.Close(event);
    }
    IoSlot(const IoSlot&) = delete;
    IoSlot& operator=(const IoSlot&) = delete;

    void Arm() {
        ov = OverlappedIo{};
        ov.hEvent = event;
    }
    // Cancels the request and waits for it to end; false when it did not.
    // *done: the bytes it moved before it ended (0 when its result failed).
    bool TakeBack(SysHandle device, uint32_t* done = nullptr) {
        api.CancelIo(device, &ov);
        if (api.Wait(event, kCancelWaitMs) != WaitResult::Signaled) return false;
        uint32_t n = 0;
        if (!api.GetOverlappedResult(device, &ov, &n, false)) n = 0;
        if (done) *done = n;
        return true;
    }

    win32::UsbApi& api;
    OverlappedIo ov;
    std::vector<uint8_t> buf;
    const SysHandle event;
};

// Lets go of a slot whose request may still be running.
void Abandon(std::unique_ptr<IoSlot> slot) { (void)slot.release(); }

UsbWriteStatus WriteFailed(uint32_t code, const std::string& path) {
    SetLastErrorFromSystem(code, path);
    return UsbDeviceGone(code) ? UsbWriteStatus::InvalidHandle : UsbWriteStatus::Error;
}

}  // namespace

struct Win32UsbBackend::Port {
    Port(win32::UsbApi& a, SysHandle s, std::string p)
        : api(a), sys(s), path(std::move(p)), read(std::make_unique<IoSlot>(a, kReadBytes)) {}
    ~Port() {
        if (pending && !read->TakeBack(sys)) Abandon(std::move(read));
        api.Close(sys);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool HasInput() const { return at < ready.size(); }
    // Collects the outstanding read; called with the mutex held.
    void Collect() {
        uint32_t n = 0;
        if (api.GetOverlappedResult(sys, &read->ov, &n, false)) {
            ready.assign(read->buf.begin(), read->buf.begin() + std::min<size_t>(n, kReadBytes));
            at = 0;
            pending = false;
            return;
        }
        const uint32_t code = api.LastError();
        if (code == win32::kErrorIoIncomplete) return;
        error = code;
        pending = false;
    }

    win32::UsbApi& api;
    const SysHandle sys;
    const std::string path;
    std::mutex mutex;  // guards the fields below
    std::unique_ptr<IoSlot> read;
    bool pending = false;  // a read is outstanding
    std::vector<uint8_t> ready;  // read, not yet taken
    size_t at = 0;
    uint32_t error = 0;  // a failed read, for the next Read to report
};

Win32UsbBackend::Win32UsbBackend(int64_t writeStallMs, win32::UsbApi& api)
    : m_writeStallMs(writeStallMs), m_api(api) {}

Win32UsbBackend::~Win32UsbBackend() = default;

std::shared_ptr<Win32UsbBackend::Port> Win32UsbBackend::Find(HANDLE h) {
    return m_ports.Find(h);
}

bool Win32UsbBackend::FindDevicePath(std::string* path) {
    const std::string wanted = WantedUsbPrinter();
    uint32_t refusal = 0;  // the first attached printer's reason not to open
    std::string refusedPath;
    bool named = false;
    std::string found;
    VisitUsbInstances(m_api, [&](const UsbInstance& printer) {
        if (!wanted.empty() && !EqualNoCase(printer.instance, wanted) &&
            !EqualNoCase(printer.path, wanted))
            return false;
        named = true;
        const SysHandle probe = m_api.Probe(printer.path.c_str());
        if (!Valid(probe)) {
            const uint32_t code = m_api.LastError();
            if (!UsbInstanceAbsent(code) && refusal == 0) {
                refusal = code;
                refusedPath = printer.path;
            }
            return false;
        }
        m_api.Close(probe);
        found = printer.path;
        return true;
    });
    if (path) *path = found;
    if (!found.empty()) return true;
    if (refusal != 0)
        SetLastErrorFromSystem(refusal, refusedPath);
    else if (!wanted.empty() && !named)
        // A cause found here, not by a system call: it carries no number.
        SetLastError({"no attached USB printer has this name", 0, wanted});
    else
        SetLastErrorFromSystem(win32::kErrorDeviceNotConnected, ENODEV);
    return false;
}

HANDLE Win32UsbBackend::Open(const std::string& path) {
    const SysHandle sys = m_api.OpenOverlapped(path.c_str());
    if (!Valid(sys)) {
        SetLastErrorFromSystem(m_api.LastError(), path);
        return INVALID_HANDLE_VALUE;
    }
    auto port = std::make_shared<Port>(m_api, sys, path);
    if (!Valid(port->read->event)) {
        SetLastErrorFromSystem(m_api.LastError(), path);
        return INVALID_HANDLE_VALUE;
    }
    return m_ports.Add(std::move(port));
}

bool Win32UsbBackend::Request(HANDLE h, uint32_t code, uint32_t outLen) {
    auto port = Find(h);
    if (!port) {
        SetLastErrorFromSystem(win32::kErrorInvalidHandle);
        return false;
    }
    // The answer is not examined: a 1284 id (two-byte big-endian length,
    // then the text) or the port-status byte.
    uint8_t out[kDeviceIdBytes] = {};
    uint32_t returned = 0;
    if (!m_api.Control(port->sys, code, out, outLen, &returned)) {
        SetLastErrorFromSystem(m_api.LastError(), port->path);
        return false;
    }
    return true;
}

bool Win32UsbBackend::GetDeviceId(HANDLE h) {
    return Request(h, win32::kIoctlUsbPrintGet1284Id, kDeviceIdBytes);
}

bool Win32UsbBackend::GetPortStatus(HANDLE h) {
    return Request(h, win32::kIoctlUsbPrintGetLptStatus, 1);
}

UsbWriteStatus Win32UsbBackend::Write(HANDLE h, const uint8_t* data, size_t len,
                                      size_t* written) {
    *written = 0;
    auto port = Find(h);
    if (!port) return WriteFailed(win32::kErrorInvalidHandle, {});
    if (len > UINT32_MAX) return WriteFailed(win32::kErrorInvalidParameter, port->path);

    auto slot = std::make_unique<IoSlot>(m_api, 0);
    if (!Valid(slot->event)) return WriteFailed(m_api.LastError(), port->path);
    slot->Arm();
    if (!m_api.WriteFile(port->sys, data, static_cast<uint32_t>(len), &slot->ov)) {
        const uint32_t code = m_api.LastError();
        if (code != win32::kErrorIoPending) return WriteFailed(code, port->path);
    }
    const WaitResult waited = m_api.Wait(slot->event, WaitMs(m_writeStallMs));
    if (waited != WaitResult::Signaled) {
        const uint32_t code = m_api.LastError();
        uint32_t n = 0;
        if (slot->TakeBack(port->sys, &n))
            *written = n;
        else
            Abandon(std::move(slot));
        if (waited == WaitResult::Failed) return WriteFailed(code, port->path);
        SetLastErrorText("USB write timed out: the printer took no data for " +
                         std::to_string(m_writeStallMs) + " ms");
        return UsbWriteStatus::Error;
    }
    uint32_t n = 0;
    if (!m_api.GetOverlappedResult(port->sys, &slot->ov, &n, false)) {
        const uint32_t code = m_api.LastError();
        *written = n;
        return WriteFailed(code, port->path);
    }
    *written = n;
    return UsbWriteStatus::Ok;
}

bool Win32UsbBackend::WaitReadable(HANDLE h, int64_t timeoutMs) {
    auto port = Find(h);
    if (!port) return true;
    {
        std::lock_guard<std::mutex> lk(port->mutex);
        if (port->HasInput() || port->error != 0) return true;
        if (!port->pending) {
            port->read->Arm();
            if (m_api.ReadFile(port->sys, port->read->buf.data(), kReadBytes, &port->read->ov)) {
                port->pending = true;
                port->Collect();
                return true;
            }
            const uint32_t code = m_api.LastError();
            if (code != win32::kErrorIoPending) {
                port->error = code;
                return true;
            }
            port->pending = true;
        }
    }
    // Waited for without the mutex: Close may cancel meanwhile, which ends
    // the wait too.
    const WaitResult waited = m_api.Wait(port->read->event, WaitMs(timeoutMs));
    if (waited == WaitResult::TimedOut) return false;
    const uint32_t code = waited == WaitResult::Failed ? m_api.LastError() : 0;
    std::lock_guard<std::mutex> lk(port->mutex);
    if (code != 0)
        port->error = code;
    else if (port->pending)
        port->Collect();
    return true;
}

bool Win32UsbBackend::Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) {
    *got = 0;
    auto port = Find(h);
    if (!port) {
        SetLastErrorFromSystem(win32::kErrorInvalidHandle);
        return false;
    }
    std::lock_guard<std::mutex> lk(port->mutex);
    if (port->HasInput()) {
        const size_t n = std::min(len, port->ready.size() - port->at);
        std::memcpy(buf, port->ready.data() + port->at, n);
        port->at += n;
        *got = n;
        return true;
    }
    if (port->error != 0) {
        SetLastErrorFromSystem(port->error, port->path);
        port->error = 0;
        return false;
    }
    return true;
}

void Win32UsbBackend::Close(HANDLE h) {
    const std::shared_ptr<Port> port = m_ports.Take(h);
    if (!port) return;
    // A reader waiting on the outstanding read is let go at once; the
    // handle closes here, or when that reader returns.
    std::lock_guard<std::mutex> lk(port->mutex);
    if (port->pending) m_api.CancelIo(port->sys, &port->read->ov);
}

}  // namespace rtq
