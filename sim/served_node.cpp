#include "sim/served_node.h"

#include <cerrno>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "sim/stop_wait.h"

namespace rtq::sim {

namespace {
constexpr int64_t kRetryMs = 100;
}

ServeOutcome ServedNode::OpenRetrying(const OpenOnce& tryOpen, int stopFd, int64_t waitMs,
                                      int* fd, std::string* error) const {
    const int64_t end = rtq::SteadyMs() + waitMs;
    for (;;) {
        std::string refusal;
        *fd = tryOpen(&refusal);
        if (*fd >= 0) return ServeOutcome::Ok;
        const int err = errno;
        if (!refusal.empty()) {
            *error = m_path + ": " + refusal;
            return ServeOutcome::Failed;
        }
        const int64_t left = end - rtq::SteadyMs();
        if (left <= 0) {
            *error = m_path + ": " + rtq::ErrnoText(err) + " (gave up after " +
                     std::to_string(waitMs) + " ms)";
            return ServeOutcome::Failed;
        }
        if (WaitForStop(stopFd, left < kRetryMs ? left : kRetryMs)) return ServeOutcome::Stopped;
    }
}

}  // namespace rtq::sim
