#include "ports/linux/descriptor_port.h"

#include "platform/last_error.h"

namespace rtq {

bool FailWithErrno(int err) {
    SetLastErrorFromErrno(err);
    return false;
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
