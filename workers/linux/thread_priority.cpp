#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "workers/thread_priority.h"
#include "workers/win_thread.h"

namespace rtq {

namespace {

// Nice value for a priority: the named levels spread over the nice range.
int NiceForPriority(int priority) {
    if (priority >= THREAD_PRIORITY_TIME_CRITICAL) return -20;
    if (priority >= THREAD_PRIORITY_HIGHEST) return -10;
    if (priority >= THREAD_PRIORITY_ABOVE_NORMAL) return -5;
    if (priority >= THREAD_PRIORITY_NORMAL) return 0;
    if (priority >= THREAD_PRIORITY_BELOW_NORMAL) return 5;
    if (priority >= THREAD_PRIORITY_LOWEST) return 10;
    return 19;
}

}  // namespace

void ApplyThreadPriority(int tid, int priority) {
    // On Linux a thread id names one thread for setpriority. Without the
    // privilege to lower the nice value this fails, which is acceptable.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid),
                      NiceForPriority(priority));
}

int CurrentSystemThreadId() { return static_cast<int>(syscall(SYS_gettid)); }

}  // namespace rtq
