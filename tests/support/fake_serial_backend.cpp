#include "tests/support/fake_serial_backend.h"

#include <algorithm>
#include <cerrno>

#include "platform/clock.h"
#include "platform/last_error.h"

namespace rtq::test {

FakeSerialBackend::FakeSerialBackend() : m_nextHandle(0x5E10) {}

FakeSerialBackend::~FakeSerialBackend() = default;

bool FakeSerialBackend::IsOpenLocked(HANDLE h) const {
    return m_open != INVALID_HANDLE_VALUE && h == m_open;
}

HANDLE FakeSerialBackend::Open(const std::string& name) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_calls.push_back("Open " + name);
    m_lastName = name;
    if (m_openFails) {
        SetLastErrorFromErrno(ENOENT);
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

bool FakeSerialBackend::GetState(HANDLE h, DCB* dcb) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_calls.push_back("GetState");
    if (!IsOpenLocked(h) || m_getStateFails) return false;
    *dcb = m_state;
    return true;
}

bool FakeSerialBackend::SetState(HANDLE h, const DCB& dcb) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_calls.push_back("SetState");
    if (!IsOpenLocked(h) || m_setStateFails) return false;
    ++m_setStateCount;
    m_lastDcb = dcb;
    m_state = dcb;
    return true;
}

bool FakeSerialBackend::GetTimeouts(HANDLE h, COMMTIMEOUTS* t) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_calls.push_back("GetTimeouts");
    if (!IsOpenLocked(h)) return false;
    *t = m_timeouts;
    return true;
}

bool FakeSerialBackend::SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_calls.push_back("SetTimeouts");
    if (!IsOpenLocked(h) || m_setTimeoutsFails) return false;
    ++m_setTimeoutsCount;
    m_timeouts = t;
    return true;
}

bool FakeSerialBackend::Write(HANDLE h, const uint8_t* data, size_t len,
                              size_t* written) {
    *written = 0;
    WriteCall call;
    int64_t stallMs = 0;
    std::shared_ptr<std::function<void(const std::vector<uint8_t>&)>> hook;
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_calls.push_back("Write " + std::to_string(len));
        call.requested = len;
        call.atMs = rtq::NowMs();
        bool fail = !IsOpenLocked(h) || m_writeFails;
        if (m_failWriteIn > 0 && --m_failWriteIn == 0) fail = true;
        if (fail) {
            SetLastErrorFromErrno(EIO);
            return false;
        }
        size_t n = len;
        if (len > 0 && m_zeroWrites > 0) {
            --m_zeroWrites;
            n = 0;
            stallMs = m_timeouts.WriteTotalTimeoutConstant;
        } else if (m_maxChunk > 0) {
            n = std::min(n, m_maxChunk);
        }
        call.bytes.assign(data, data + n);
        m_writes.push_back(call);
        *written = n;
        hook = m_writeHook;
    }
    rtq::SleepMs(stallMs);
    if (hook && *hook) (*hook)(call.bytes);
    return true;
}

bool FakeSerialBackend::Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) {
    *got = 0;
    std::shared_ptr<std::function<void()>> hook;
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        hook = m_readHook;
    }
    if (hook && *hook) (*hook)();

    std::unique_lock<std::mutex> lk(m_mutex);
    m_calls.push_back("Read");
    ++m_readCalls;
    if (!IsOpenLocked(h) || m_readFails) {
        SetLastErrorFromErrno(EIO);
        return false;
    }
    if (m_input.empty()) {
        const int64_t waitMs =
            std::max<int64_t>(1, m_timeouts.ReadTotalTimeoutConstant);
        rtq::ActiveClock().WaitFor(m_inputCv, lk, waitMs,
                                   [this] { return !m_input.empty(); });
    }
    const size_t n = std::min(len, m_input.size());
    if (n == 0) {
        ++m_emptyReads;
        return true;
    }
    std::copy(m_input.begin(), m_input.begin() + static_cast<ptrdiff_t>(n),
              buf);
    m_input.erase(m_input.begin(), m_input.begin() + static_cast<ptrdiff_t>(n));
    *got = n;
    return true;
}

bool FakeSerialBackend::PurgeInput(HANDLE h) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_calls.push_back("Purge");
    if (!IsOpenLocked(h) || m_purgeFails) return false;
    ++m_purgeCount;
    m_input.clear();
    return true;
}

void FakeSerialBackend::Close(HANDLE h) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_calls.push_back("Close");
    if (!IsOpenLocked(h)) return;
    m_open = INVALID_HANDLE_VALUE;
    ++m_closeCount;
}

void FakeSerialBackend::PushInput(const std::vector<uint8_t>& bytes) {
    PushInput(bytes.data(), bytes.size());
}

void FakeSerialBackend::PushInput(const uint8_t* data, size_t len) {
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_input.insert(m_input.end(), data, data + len);
    }
    m_inputCv.notify_all();
}

size_t FakeSerialBackend::PendingInput() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_input.size();
}

void FakeSerialBackend::ClearInput() {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_input.clear();
}

void FakeSerialBackend::SetOpenFails(bool fail) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_openFails = fail;
}

void FakeSerialBackend::SetGetStateFails(bool fail) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_getStateFails = fail;
}

void FakeSerialBackend::SetSetStateFails(bool fail) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_setStateFails = fail;
}

void FakeSerialBackend::SetSetTimeoutsFails(bool fail) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_setTimeoutsFails = fail;
}

void FakeSerialBackend::SetPurgeFails(bool fail) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_purgeFails = fail;
}

void FakeSerialBackend::SetReadFails(bool fail) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_readFails = fail;
}

void FakeSerialBackend::SetWriteFails(bool fail) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_writeFails = fail;
}

void FakeSerialBackend::FailWriteCall(int n) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_failWriteIn = n;
}

void FakeSerialBackend::SetZeroWrites(int n) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_zeroWrites = n;
}

void FakeSerialBackend::SetMaxWriteChunk(size_t n) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_maxChunk = n;
}

void FakeSerialBackend::SetInitialDcb(const DCB& dcb) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_state = dcb;
}

void FakeSerialBackend::SetWriteHook(
    std::function<void(const std::vector<uint8_t>&)> hook) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_writeHook = std::make_shared<
        std::function<void(const std::vector<uint8_t>&)>>(std::move(hook));
}

void FakeSerialBackend::SetReadHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_readHook = std::make_shared<std::function<void()>>(std::move(hook));
}

std::vector<FakeSerialBackend::WriteCall> FakeSerialBackend::Writes() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_writes;
}

std::vector<uint8_t> FakeSerialBackend::WrittenBytes() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    std::vector<uint8_t> all;
    for (const auto& w : m_writes)
        all.insert(all.end(), w.bytes.begin(), w.bytes.end());
    return all;
}

void FakeSerialBackend::ClearWrites() {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_writes.clear();
}

std::vector<std::string> FakeSerialBackend::Calls() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_calls;
}

DCB FakeSerialBackend::LastDcb() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_lastDcb;
}

COMMTIMEOUTS FakeSerialBackend::LastTimeouts() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_timeouts;
}

int FakeSerialBackend::SetStateCount() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_setStateCount;
}

int FakeSerialBackend::SetTimeoutsCount() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_setTimeoutsCount;
}

int FakeSerialBackend::ReadCalls() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_readCalls;
}

int FakeSerialBackend::EmptyReads() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_emptyReads;
}

int FakeSerialBackend::PurgeCount() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_purgeCount;
}

int FakeSerialBackend::OpenCount() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_openCount;
}

int FakeSerialBackend::CloseCount() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_closeCount;
}

std::string FakeSerialBackend::LastOpenedName() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_lastName;
}

bool FakeSerialBackend::IsOpen() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_open != INVALID_HANDLE_VALUE;
}

HANDLE FakeSerialBackend::OpenHandle() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_open;
}

ScopedSerialBackend::ScopedSerialBackend(rtq::ISerialBackend& backend)
    : m_previous(&rtq::SerialBackend()) {
    rtq::SetSerialBackend(&backend);
}

ScopedSerialBackend::~ScopedSerialBackend() { rtq::SetSerialBackend(m_previous); }

}  // namespace rtq::test
