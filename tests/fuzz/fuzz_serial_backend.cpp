#include "tests/fuzz/fuzz_serial_backend.h"

#include <algorithm>
#include <cerrno>

#include "platform/clock.h"
#include "platform/last_error.h"

namespace rtq::fuzz {

SerialFaults SerialFaults::Choose(FuzzInput& in) {
    SerialFaults f;
    f.openFailAt = in.Byte() % 64;
    f.openFailCount = in.Byte() % 48;
    f.writeFaultAt = in.Byte();
    f.writeFaultKind = in.Byte() % 3;
    f.writePart = in.Byte();
    f.readFailAt = in.Byte();
    f.setStateFailAt = in.Byte() % 8;
    return f;
}

HANDLE FuzzSerialBackend::Open(const std::string&) {
    ++m_opens;
    const bool refused = m_faults.openFailAt != 0 && m_opens >= m_faults.openFailAt &&
                         m_opens <= m_faults.openFailAt + m_faults.openFailCount;
    if (refused || m_open != INVALID_HANDLE_VALUE) {
        rtq::SetLastErrorFromErrno(refused ? ENOENT : EBUSY);
        return INVALID_HANDLE_VALUE;
    }
    m_open = m_next++;
    return m_open;
}

bool FuzzSerialBackend::GetState(HANDLE h, DCB* dcb) {
    if (!Valid(h)) return false;
    *dcb = m_dcb;
    return true;
}

bool FuzzSerialBackend::SetState(HANDLE h, const DCB& dcb) {
    if (!Valid(h) || ++m_setStates == m_faults.setStateFailAt) return false;
    m_dcb = dcb;
    return true;
}

bool FuzzSerialBackend::GetTimeouts(HANDLE h, COMMTIMEOUTS* t) {
    if (!Valid(h)) return false;
    *t = m_timeouts;
    return true;
}

bool FuzzSerialBackend::SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) {
    if (!Valid(h)) return false;
    m_timeouts = t;
    return true;
}

bool FuzzSerialBackend::Write(HANDLE h, const uint8_t* data, size_t len, size_t* written) {
    *written = 0;
    if (!Valid(h)) return false;
    size_t n = len;
    if (++m_writes == m_faults.writeFaultAt) {
        if (m_faults.writeFaultKind == 0) return false;
        if (m_faults.writeFaultKind == 1) {
            // DSR held low for the whole write time-out.
            rtq::SleepMs(m_timeouts.WriteTotalTimeoutConstant);
            return true;
        }
        n = std::min(len, m_faults.writePart);
    }
    m_printer.HostWrote(data, n);
    *written = n;
    return true;
}

bool FuzzSerialBackend::Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) {
    *got = 0;
    if (!Valid(h) || ++m_reads == m_faults.readFailAt) return false;
    if (m_printer.Arrived() == 0) {
        // Wait for the first byte, at most the read constant.
        const int64_t limit = std::max<int64_t>(m_timeouts.ReadTotalTimeoutConstant, 1);
        const int64_t next = m_printer.NextArrivalMs();
        const int64_t wait = next < 0 ? limit : next - rtq::NowMs();
        rtq::SleepMs(std::min(std::max<int64_t>(wait, 0), limit));
    }
    *got = m_printer.Take(buf, len);
    return true;
}

bool FuzzSerialBackend::PurgeInput(HANDLE h) {
    if (!Valid(h)) return false;
    m_printer.DropArrived();
    return true;
}

void FuzzSerialBackend::Close(HANDLE h) {
    if (Valid(h)) m_open = INVALID_HANDLE_VALUE;
}

}  // namespace rtq::fuzz
