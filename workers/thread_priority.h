#pragma once
// Thread priorities in the system's own terms; the bodies sit in the OS
// folders. Priorities are the Windows values (THREAD_PRIORITY_*).

namespace rtq {

// The calling thread's id in the operating system's terms.
int CurrentSystemThreadId();
// Gives a running thread, named by its system id, a priority; best effort
// (without the privilege to raise it nothing changes).
void ApplyThreadPriority(int tid, int priority);

}  // namespace rtq
