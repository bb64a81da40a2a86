#include "winui/single_instance.h"

#include <windows.h>

bool AcquireSingleInstance(const std::string& name, const std::string& title) {
    // Never closed: the system releases it when the process ends.
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
    if (!mutex || GetLastError() != ERROR_ALREADY_EXISTS) return true;
    if (HWND other = FindWindowA(nullptr, title.c_str())) {
        // A minimized window is shown again, then brought forward.
        if (IsIconic(other)) ShowWindowAsync(other, SW_RESTORE);
        SetForegroundWindow(other);
    }
    return false;
}
