#include "tests/fuzz/fuzz_usb_backend.h"

#include <algorithm>
#include <cerrno>

#include "platform/clock.h"
#include "platform/last_error.h"

namespace rtq::fuzz {

UsbFaults UsbFaults::Choose(FuzzInput& in) {
    UsbFaults f;
    f.stepFailAt = in.Byte() % 32;
    f.stepFailCount = in.Byte() % 16;
    f.writeFaultAt = in.Byte();
    f.writeError = in.Bool();
    f.unpluggedWrites = in.Byte() % 16;
    f.readFailAt = in.Byte();
    return f;
}

bool FuzzUsbBackend::StepAllowed() {
    ++m_steps;
    const bool refused = m_faults.stepFailAt != 0 && m_steps >= m_faults.stepFailAt &&
                         m_steps <= m_faults.stepFailAt + m_faults.stepFailCount;
    if (refused) rtq::SetLastErrorFromErrno(ENODEV);
    return !refused;
}

bool FuzzUsbBackend::FindDevicePath(std::string* path) {
    if (!StepAllowed()) {
        path->clear();
        return false;
    }
    *path = "/dev/usb/lp0";
    return true;
}

HANDLE FuzzUsbBackend::Open(const std::string& path) {
    if (!StepAllowed() || path.empty()) return INVALID_HANDLE_VALUE;
    if (m_open != INVALID_HANDLE_VALUE) {
        rtq::SetLastErrorFromErrno(EBUSY);  // one open at a time
        return INVALID_HANDLE_VALUE;
    }
    m_open = m_next++;
    return m_open;
}

bool FuzzUsbBackend::GetDeviceId(HANDLE h) {
    if (!Valid(h)) {
        rtq::SetLastErrorFromErrno(EBADF);
        return false;
    }
    return StepAllowed();
}

bool FuzzUsbBackend::GetPortStatus(HANDLE h) {
    if (!Valid(h)) {
        rtq::SetLastErrorFromErrno(EBADF);
        return false;
    }
    return StepAllowed();
}

rtq::UsbWriteStatus FuzzUsbBackend::Write(HANDLE h, const uint8_t* data, size_t len,
                                          size_t* written) {
    *written = 0;
    if (++m_writes == m_faults.writeFaultAt) {
        if (m_faults.writeError) return rtq::UsbWriteStatus::Error;
        m_unplugLeft = m_faults.unpluggedWrites + 1;
    }
    if (m_unplugLeft > 0) {
        --m_unplugLeft;
        return rtq::UsbWriteStatus::InvalidHandle;
    }
    if (!Valid(h)) return rtq::UsbWriteStatus::InvalidHandle;
    m_printer.HostWrote(data, len);
    *written = len;
    return rtq::UsbWriteStatus::Ok;
}

bool FuzzUsbBackend::WaitReadable(HANDLE h, int64_t timeoutMs) {
    if (!Valid(h)) return true;  // the read reports the error
    if (m_printer.Arrived() > 0) return true;
    const int64_t next = m_printer.NextArrivalMs();
    const int64_t limit = std::max<int64_t>(timeoutMs, 0);
    if (next >= 0 && next - rtq::NowMs() <= limit) {
        rtq::SleepMs(next - rtq::NowMs());
        return true;
    }
    rtq::SleepMs(limit);
    return false;
}

bool FuzzUsbBackend::Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) {
    *got = 0;
    if (!Valid(h) || ++m_reads == m_faults.readFailAt) {
        rtq::SetLastErrorFromErrno(EIO);
        return false;
    }
    *got = m_printer.Take(buf, len);
    return true;
}

void FuzzUsbBackend::Close(HANDLE h) {
    if (Valid(h)) m_open = INVALID_HANDLE_VALUE;
}

}  // namespace rtq::fuzz
