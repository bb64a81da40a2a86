#include "tests/support/fake_usb_backend.h"

#include <algorithm>
#include <cerrno>

#include "platform/clock.h"
#include "platform/last_error.h"

namespace rtq::test {

namespace {

// Counts a read-side call in progress for MaxConcurrentReads.
class ActiveRead {
public:
    ActiveRead(std::mutex& m, int& active, int& most)
        : m_mutex(m), m_active(active) {
        std::lock_guard<std::mutex> lk(m_mutex);
        most = std::max(most, ++m_active);
    }
    ~ActiveRead() {
        std::lock_guard<std::mutex> lk(m_mutex);
        --m_active;
    }
    ActiveRead(const ActiveRead&) = delete;
    ActiveRead& operator=(const ActiveRead&) = delete;

private:
    std::mutex& m_mutex;
    int& m_active;
};

}  // namespace

FakeUsbBackend::FakeUsbBackend() : m_nextHandle(0x05B0) {}

FakeUsbBackend::~FakeUsbBackend() = default;

void FakeUsbBackend::UpdateReadableLocked() {
    if (!m_input.empty() || m_readError)
        m_readable.Set();
    else
        m_readable.Reset();
}

bool FakeUsbBackend::FindDevicePath(std::string* path) {
    std::lock_guard<std::mutex> lk(m_mutex);
    ++m_findCount;
    m_wantedSeen.push_back(rtq::WantedUsbPrinter());
    if (!m_found || m_unplugged) {
        path->clear();
        return false;
    }
    *path = m_path;
    return true;
}

HANDLE FakeUsbBackend::Open(const std::string& path) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_lastPath = path;
    if (m_openFails || m_unplugged || !m_found || path.empty()) {
        SetLastErrorFromErrno(ENODEV);
        return INVALID_HANDLE_VALUE;
    }
    if (m_open != INVALID_HANDLE_VALUE) {
        SetLastErrorFromErrno(EBUSY);
        return INVALID_HANDLE_VALUE;
    }
    m_open = m_nextHandle++;
    ++m_openCount;
    return m_open;
}

bool FakeUsbBackend::GetDeviceId(HANDLE h) {
    std::lock_guard<std::mutex> lk(m_mutex);
    ++m_deviceIdCount;
    if (h != m_open || m_open == INVALID_HANDLE_VALUE || !m_deviceIdOk) {
        SetLastErrorFromErrno(EIO);
        return false;
    }
    return true;
}

bool FakeUsbBackend::GetPortStatus(HANDLE h) {
    std::lock_guard<std::mutex> lk(m_mutex);
    ++m_portStatusCount;
    if (h != m_open || m_open == INVALID_HANDLE_VALUE || !m_portStatusOk) {
        SetLastErrorFromErrno(EIO);
        return false;
    }
    return true;
}

rtq::UsbWriteStatus FakeUsbBackend::Write(HANDLE h, const uint8_t* data,
                                          size_t len, size_t* written) {
    *written = 0;
    WriteCall call;
    call.bytes.assign(data, data + len);
    call.handle = h;
    std::shared_ptr<std::function<void(const std::vector<uint8_t>&)>> hook;
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        call.atMs = rtq::NowMs();
        if (!m_scripted.empty()) {
            call.status = m_scripted.front();
            m_scripted.pop_front();
        } else if (m_unplugged || h != m_open || m_open == INVALID_HANDLE_VALUE) {
            call.status = rtq::UsbWriteStatus::InvalidHandle;
        }
        m_writes.push_back(call);
        if (call.status != rtq::UsbWriteStatus::Ok) {
            SetLastErrorFromErrno(call.status == rtq::UsbWriteStatus::InvalidHandle
                                      ? ENODEV
                                      : EIO);
            return call.status;
        }
        *written = len;
        hook = m_writeHook;
    }
    if (hook && *hook) (*hook)(call.bytes);
    return rtq::UsbWriteStatus::Ok;
}

bool FakeUsbBackend::WaitReadable(HANDLE, int64_t timeoutMs) {
    ActiveRead active(m_mutex, m_activeReads, m_maxActiveReads);
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        ++m_waitCalls;
    }
    return m_readable.Wait(timeoutMs);
}

bool FakeUsbBackend::Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) {
    ActiveRead active(m_mutex, m_activeReads, m_maxActiveReads);
    std::lock_guard<std::mutex> lk(m_mutex);
    *got = 0;
    ++m_readCalls;
    if (m_readError) {
        m_readError = false;
        UpdateReadableLocked();
        SetLastErrorFromErrno(EIO);
        return false;
    }
    if (h != m_open || m_open == INVALID_HANDLE_VALUE) {
        SetLastErrorFromErrno(EBADF);
        return false;
    }
    const size_t n = std::min(len, m_input.size());
    std::copy(m_input.begin(), m_input.begin() + static_cast<ptrdiff_t>(n), buf);
    m_input.erase(m_input.begin(), m_input.begin() + static_cast<ptrdiff_t>(n));
    *got = n;
    UpdateReadableLocked();
    return true;
}

void FakeUsbBackend::Close(HANDLE h) {
    std::lock_guard<std::mutex> lk(m_mutex);
    if (h != m_open || m_open == INVALID_HANDLE_VALUE) return;
    m_open = INVALID_HANDLE_VALUE;
    ++m_closeCount;
}

void FakeUsbBackend::SetDeviceFound(bool found) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_found = found;
}

void FakeUsbBackend::SetDevicePath(const std::string& path) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_path = path;
}

void FakeUsbBackend::SetOpenFails(bool fail) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_openFails = fail;
}

void FakeUsbBackend::SetDeviceIdResult(bool ok) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_deviceIdOk = ok;
}

void FakeUsbBackend::SetPortStatusResult(bool ok) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_portStatusOk = ok;
}

void FakeUsbBackend::SetUnplugged(bool unplugged) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_unplugged = unplugged;
}

void FakeUsbBackend::ScriptWriteResults(
    const std::vector<rtq::UsbWriteStatus>& results) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_scripted.insert(m_scripted.end(), results.begin(), results.end());
}

void FakeUsbBackend::SetWriteHook(
    std::function<void(const std::vector<uint8_t>&)> hook) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_writeHook = std::make_shared<
        std::function<void(const std::vector<uint8_t>&)>>(std::move(hook));
}

void FakeUsbBackend::PushInput(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_input.insert(m_input.end(), bytes.begin(), bytes.end());
    UpdateReadableLocked();
}

void FakeUsbBackend::SetReadError(bool fail) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_readError = fail;
    UpdateReadableLocked();
}

size_t FakeUsbBackend::PendingInput() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_input.size();
}

std::vector<FakeUsbBackend::WriteCall> FakeUsbBackend::Writes() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_writes;
}

std::vector<uint8_t> FakeUsbBackend::WrittenBytes() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    std::vector<uint8_t> all;
    for (const auto& w : m_writes)
        if (w.status == rtq::UsbWriteStatus::Ok)
            all.insert(all.end(), w.bytes.begin(), w.bytes.end());
    return all;
}

void FakeUsbBackend::ClearWrites() {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_writes.clear();
}

int FakeUsbBackend::OpenCount() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_openCount;
}

int FakeUsbBackend::CloseCount() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_closeCount;
}

std::vector<std::string> FakeUsbBackend::WantedSeen() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_wantedSeen;
}

int FakeUsbBackend::FindCount() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_findCount;
}

int FakeUsbBackend::DeviceIdCount() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_deviceIdCount;
}

int FakeUsbBackend::PortStatusCount() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_portStatusCount;
}

int FakeUsbBackend::ReadCalls() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_readCalls;
}

int FakeUsbBackend::WaitCalls() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_waitCalls;
}

int FakeUsbBackend::MaxConcurrentReads() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_maxActiveReads;
}

HANDLE FakeUsbBackend::OpenHandle() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_open;
}

std::string FakeUsbBackend::LastOpenedPath() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_lastPath;
}

ScopedUsbBackend::ScopedUsbBackend(rtq::IUsbBackend& backend)
    : m_previous(&rtq::UsbBackend()) {
    rtq::SetUsbBackend(&backend);
}

ScopedUsbBackend::~ScopedUsbBackend() { rtq::SetUsbBackend(m_previous); }

}  // namespace rtq::test
