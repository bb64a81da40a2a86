#include <windows.h>

#include "workers/thread_priority.h"

namespace rtq {

int CurrentSystemThreadId() { return static_cast<int>(GetCurrentThreadId()); }

void ApplyThreadPriority(int tid, int priority) {
    // The priorities are the system's own values (1 above normal, 15 time
    // critical), so they pass unchanged.
    HANDLE h = OpenThread(THREAD_SET_INFORMATION | THREAD_QUERY_INFORMATION, FALSE,
                          static_cast<DWORD>(tid));
    if (!h) return;
    (void)SetThreadPriority(h, priority);
    CloseHandle(h);
}

}  // namespace rtq
