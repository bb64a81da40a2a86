#include "ports/linux/descriptor_port.h"

#include "platform/last_error.h"

namespace rtq {

bool FailWithErrno(int err) {
    SetLastErrorFromErrno(err);
    return false;
}

DCB KeptSettings::Dcb() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_dcb;
}

void KeptSettings::SetDcb(const DCB& dcb) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_dcb = dcb;
}

COMMTIMEOUTS KeptSettings::Timeouts() const {
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_timeouts;
}

void KeptSettings::SetTimeouts(const COMMTIMEOUTS& t) {
    std::lock_guard<std::mutex> lk(m_mutex);
    m_timeouts = t;
}

int64_t KeptSettings::ReadEndMs() const {
    const int64_t waitMs = Timeouts().ReadTotalTimeoutConstant;
    return SteadyMs() + waitMs;
}

int64_t KeptSettings::WriteEndMs() const {
    const int64_t budgetMs = Timeouts().WriteTotalTimeoutConstant;
    return SteadyMs() + (budgetMs > 0 ? budgetMs : kDefaultWriteBudgetMs);
}

}  // namespace rtq
