#include "sim/stop_wait.h"

#include <poll.h>

#include <cerrno>

#include "platform/clock.h"

namespace rtq::sim {

bool WaitForStop(int stopFd, int64_t ms) {
    const int64_t end = rtq::SteadyMs() + (ms < 0 ? 0 : ms);
    for (;;) {
        int timeout = -1;
        if (ms >= 0) {
            const int64_t left = end - rtq::SteadyMs();
            if (left <= 0) return false;
            timeout = static_cast<int>(left > 60000 ? 60000 : left);
        }
        pollfd p{stopFd, POLLIN, 0};
        const int rc = poll(&p, 1, timeout);
        if (rc > 0) return true;
        if (rc < 0 && errno != EINTR) {
            // Cannot watch the pipe: still honour the wait, never spin.
            if (ms < 0) return false;
            rtq::SleepMs(end - rtq::SteadyMs());
            return false;
        }
    }
}

}  // namespace rtq::sim
