#include "winui/single_instance.h"

#include <windows.h>

bool AcquireSingleInstance(const std::string& name, const std::string& title) {
    // Never closed: the system releases it when the process ends.
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
    if (!mutex || GetLastError() != ERROR_ALREADY_EXISTS) return true;
    if (HWND other = FindWindowA(nullptr, title.c_str())) {
        // A minimized window is shown again, then brought forward. Raising
        // it first as well changes nothing where SetForegroundWindow raises
        // it anyway, and raises it where that only moves the system's own
        // idea of the foreground (Wine under an X window manager).
        if (IsIconic(other)) ShowWindowAsync(other, SW_RESTORE);
        BringWindowToTop(other);
        SetForegroundWindow(other);
    }
    return false;
}
