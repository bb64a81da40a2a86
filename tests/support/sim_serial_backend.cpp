#include "tests/support/sim_serial_backend.h"

#include <algorithm>
#include <cerrno>

#include "platform/clock.h"
#include "platform/last_error.h"

namespace rtq::test {

namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";

std::string StripDevicePrefix(const std::string& name) {
    const std::string prefix = kDevicePrefix;
    if (name.compare(0, prefix.size(), prefix) == 0)
        return name.substr(prefix.size());
    return name;
}

}  // namespace

rtq::sim::LineSettings LineFromDcb(const DCB& dcb) {
    rtq::sim::LineSettings line;
    line.known = true;
    line.baud = dcb.BaudRate;
    switch (dcb.Parity) {
        case ODDPARITY: line.parity = 'O'; break;
        case EVENPARITY: line.parity = 'E'; break;
        case MARKPARITY: line.parity = 'M'; break;
        case SPACEPARITY: line.parity = 'S'; break;
        default: line.parity = 'N'; break;
    }
    line.stopBits = dcb.StopBits == TWOSTOPBITS ? 2 : 1;
    line.dataBits = dcb.ByteSize;
    return line;
}

SimSerialBackend::SimSerialBackend(const std::string& name,
                                   rtq::sim::SimPrinter& printer) {
    AddDevice(name, printer);
}

void SimSerialBackend::AddDevice(const std::string& name,
                                 rtq::sim::SimPrinter& printer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_devices[StripDevicePrefix(name)].printer = &printer;
}

SimSerialBackend::Device* SimSerialBackend::FindLocked(HANDLE h) {
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    for (auto& [name, dev] : m_devices)
        if (dev.handle == h) return &dev;
    return nullptr;
}

const std::string* SimSerialBackend::NameLocked(HANDLE h) const {
    for (const auto& [name, dev] : m_devices)
        if (dev.handle == h) return &name;
    return nullptr;
}

HANDLE SimSerialBackend::Open(const std::string& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_devices.find(StripDevicePrefix(name));
    if (m_openFails || it == m_devices.end()) {
        rtq::SetLastErrorFromErrno(ENOENT);
        return INVALID_HANDLE_VALUE;
    }
    Device& dev = it->second;
    if (dev.handle != INVALID_HANDLE_VALUE) {
        rtq::SetLastErrorFromErrno(EBUSY);
        return INVALID_HANDLE_VALUE;
    }
    dev.handle = m_nextHandle++;
    // What the printer sent while nobody had the port open is gone.
    dev.printer->PurgeOutput();
    m_opens.push_back(name);
    return dev.handle;
}

bool SimSerialBackend::GetState(HANDLE h, DCB* dcb) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Device* dev = FindLocked(h);
    if (!dev) return false;
    *dcb = dev->dcb;
    return true;
}

bool SimSerialBackend::SetState(HANDLE h, const DCB& dcb) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Device* dev = FindLocked(h);
    if (!dev) return false;
    dev->dcb = dcb;
    m_states.push_back(StateCall{*NameLocked(h), dcb, rtq::NowMs()});
    dev->printer->SetLine(LineFromDcb(dcb));
    return true;
}

bool SimSerialBackend::GetTimeouts(HANDLE h, COMMTIMEOUTS* t) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Device* dev = FindLocked(h);
    if (!dev) return false;
    *t = dev->timeouts;
    return true;
}

bool SimSerialBackend::SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Device* dev = FindLocked(h);
    if (!dev) return false;
    dev->timeouts = t;
    m_lastTimeouts = t;
    return true;
}

bool SimSerialBackend::Write(HANDLE h, const uint8_t* data, size_t len,
                             size_t* written) {
    std::unique_lock<std::mutex> lock(m_mutex);
    *written = 0;
    Device* dev = FindLocked(h);
    if (!dev || m_writeFails) return false;
    WriteCall call{*NameLocked(h), {}, len, rtq::NowMs()};
    rtq::sim::SimPrinter* printer = dev->printer;
    if (printer->DsrLow() && len > 0) {
        // Output waits for DSR until the write time-out runs out.
        const COMMTIMEOUTS t = dev->timeouts;
        const int64_t waitMs = std::max<int64_t>(
            1, int64_t{t.WriteTotalTimeoutMultiplier} * static_cast<int64_t>(len) +
                   t.WriteTotalTimeoutConstant);
        lock.unlock();
        rtq::SleepMs(waitMs);
        lock.lock();
        m_writes.push_back(std::move(call));
        return true;
    }
    printer->Receive(data, len);
    call.bytes.assign(data, data + len);
    m_writes.push_back(std::move(call));
    *written = len;
    ++m_writeSeq;
    m_written.notify_all();
    return true;
}

bool SimSerialBackend::Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) {
    std::unique_lock<std::mutex> lock(m_mutex);
    *got = 0;
    ++m_readCalls;
    Device* dev = FindLocked(h);
    if (!dev || m_readFails) return false;
    rtq::sim::SimPrinter* printer = dev->printer;
    if (len == 0) return true;
    if (printer->OutputAvailable() > 0) {
        *got = printer->TakeOutput(buf, len);
        return true;
    }
    // At least 1 ms, so that a read loop on a virtual clock moves time on.
    const int64_t waitMs =
        std::max<int64_t>(1, dev->timeouts.ReadTotalTimeoutConstant);
    const int64_t deadline = rtq::NowMs() + waitMs;
    const uint64_t seq = m_writeSeq;
    for (;;) {
        const int64_t now = rtq::NowMs();
        if (now >= deadline) return true;
        int64_t until = deadline;
        if (auto release = printer->NextReleaseMs())
            until = std::min(until, *release);
        rtq::ActiveClock().WaitFor(m_written, lock, std::max<int64_t>(1, until - now),
                                   [&] {
                                       return m_writeSeq != seq ||
                                              printer->OutputAvailable() > 0;
                                   });
        // The device may have been closed by another thread meanwhile.
        if (FindLocked(h) != dev) return false;
        if (printer->OutputAvailable() > 0) {
            *got = printer->TakeOutput(buf, len);
            return true;
        }
    }
}

bool SimSerialBackend::PurgeInput(HANDLE h) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Device* dev = FindLocked(h);
    if (!dev) return false;
    ++m_purgeCount;
    dev->printer->PurgeOutput();
    return true;
}

void SimSerialBackend::Close(HANDLE h) {
    std::lock_guard<std::mutex> lock(m_mutex);
    Device* dev = FindLocked(h);
    if (!dev) return;
    dev->handle = INVALID_HANDLE_VALUE;
    ++m_closeCount;
    m_written.notify_all();
}

void SimSerialBackend::SetOpenFails(bool fail) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_openFails = fail;
}

void SimSerialBackend::SetWriteFails(bool fail) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_writeFails = fail;
}

void SimSerialBackend::SetReadFails(bool fail) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_readFails = fail;
}

std::vector<SimSerialBackend::WriteCall> SimSerialBackend::Writes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_writes;
}

std::vector<uint8_t> SimSerialBackend::WrittenBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<uint8_t> out;
    for (const WriteCall& w : m_writes)
        out.insert(out.end(), w.bytes.begin(), w.bytes.end());
    return out;
}

std::vector<SimSerialBackend::StateCall> SimSerialBackend::States() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_states;
}

COMMTIMEOUTS SimSerialBackend::LastTimeouts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastTimeouts;
}

std::vector<std::string> SimSerialBackend::Opens() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_opens;
}

int SimSerialBackend::OpenCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_opens.size());
}

int SimSerialBackend::CloseCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closeCount;
}

int SimSerialBackend::PurgeCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_purgeCount;
}

int SimSerialBackend::ReadCalls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_readCalls;
}

bool SimSerialBackend::IsOpen(const std::string& name) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_devices.find(StripDevicePrefix(name));
    return it != m_devices.end() && it->second.handle != INVALID_HANDLE_VALUE;
}

void SimSerialBackend::ClearRecords() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_writes.clear();
    m_states.clear();
    m_opens.clear();
    m_closeCount = m_purgeCount = m_readCalls = 0;
}

}  // namespace rtq::test
