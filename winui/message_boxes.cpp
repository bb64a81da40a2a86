#include "winui/message_boxes.h"

#include <cstdio>

#include <windows.h>

namespace {

// User-interface thread only.
bool g_bBoxesSuppressed = false;

BOOL CALLBACK CloseIfMessageBox(HWND hwnd, LPARAM) {
    // A message box is a dialog of the system's dialog class whose OK
    // button carries IDOK; the program's own dialogs are never closed here.
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    char caption[MAX_PATH] = {};
    GetWindowTextA(hwnd, caption, sizeof caption);
    if (std::string(cls) == "#32770" && ApplicationName() == caption)
        PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
    return TRUE;
}

}  // namespace

std::string ApplicationName() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string name(path, n < sizeof path ? n : 0);
    const auto slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

void ShowMessageBox(void* ownerWindow, const std::string& text, BoxKind kind, const std::string& hint) {
    const std::string message = hint.empty() ? text : text + "\n\n" + hint;
    if (g_bBoxesSuppressed) {
        std::fprintf(stderr, "%s: %s\n", ApplicationName().c_str(), message.c_str());
        return;
    }
    HWND owner = static_cast<HWND>(ownerWindow);
    if (owner && !IsWindowVisible(owner)) owner = nullptr;
    const UINT icon = kind == BoxKind::Information ? MB_ICONINFORMATION
                      : kind == BoxKind::Warning   ? MB_ICONEXCLAMATION
                                                   : MB_ICONHAND;
    MessageBoxA(owner, message.c_str(), ApplicationName().c_str(), MB_OK | icon);
}

void SuppressMessageBoxes(bool suppress) { g_bBoxesSuppressed = suppress; }

void CloseMessageBoxes() { EnumThreadWindows(GetCurrentThreadId(), CloseIfMessageBox, 0); }
