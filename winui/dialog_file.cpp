// Choosing the data file with the system's file dialog.

#include <windows.h>
#include <commdlg.h>

#include <string>

#include "platform/win32/system_error.h"
#include "winui/dialog_window.h"
#include "winui/message_boxes.h"

bool CDialogWindow::ChooseFile(const std::string& description, const std::string& extension,
                               std::string* path, std::string* name) {
    // "Description (*.ext)", then the pattern, each ended by a null
    // character, the list by another (the one c_str adds).
    const std::string pattern = "*." + extension;
    std::string filter = description + " (" + pattern + ")";
    filter += '\0';
    filter += pattern;
    filter += '\0';

    char file[4 * MAX_PATH] = {};
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = static_cast<HWND>(m_hWnd);
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameA(&ofn)) return false;

    // The file must open for reading; otherwise the previous choice stays.
    HANDLE h = CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        ShowMessageBox(m_hWnd, std::string(file) + "\n" + rtq::SystemErrorText(error), BoxKind::Warning);
        return false;
    }
    CloseHandle(h);
    *path = file;
    *name = file + ofn.nFileOffset;
    return true;
}
