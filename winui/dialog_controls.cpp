// The main dialog's controls by identifier.

#include <windows.h>

#include <vector>

#include "winui/dialog_window.h"

namespace {

bool IsList(HWND control) {
    char cls[32] = {};
    GetClassNameA(control, cls, sizeof cls);
    return lstrcmpiA(cls, "ComboBox") == 0;
}

std::string ItemText(HWND list, int index) {
    const LRESULT n = SendMessageA(list, CB_GETLBTEXTLEN, index, 0);
    if (n == CB_ERR) return {};
    std::vector<char> text(static_cast<size_t>(n) + 1);
    SendMessageA(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

HWND Control(void* dialog, int id) { return GetDlgItem(static_cast<HWND>(dialog), id); }

}  // namespace

void CDialogWindow::Enable(int id, bool enable) {
    if (HWND w = Control(m_hWnd, id)) EnableWindow(w, enable);
}

bool CDialogWindow::IsEnabled(int id) const { return IsWindowEnabled(Control(m_hWnd, id)); }

bool CDialogWindow::IsChecked(int id) const {
    return IsDlgButtonChecked(static_cast<HWND>(m_hWnd), id) == BST_CHECKED;
}

std::string CDialogWindow::Text(int id) const {
    HWND w = Control(m_hWnd, id);
    if (!w) return {};
    if (IsList(w)) return ItemText(w, static_cast<int>(SendMessageA(w, CB_GETCURSEL, 0, 0)));
    std::vector<char> text(static_cast<size_t>(GetWindowTextLengthA(w)) + 1);
    GetWindowTextA(w, text.data(), static_cast<int>(text.size()));
    return text.data();
}

void CDialogWindow::SetText(int id, const std::string& text) {
    HWND w = Control(m_hWnd, id);
    if (!w) return;
    if (!IsList(w)) {
        SetWindowTextA(w, text.c_str());
        return;
    }
    // The item of exactly that text (the system's own search ignores case).
    const int count = static_cast<int>(SendMessageA(w, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        if (ItemText(w, i) == text) {
            SendMessageA(w, CB_SETCURSEL, i, 0);
            return;
        }
    }
}

void CDialogWindow::FillList(int id, const std::vector<std::string>& items) {
    HWND w = Control(m_hWnd, id);
    if (!w) return;
    SendMessageA(w, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items)
        SendMessageA(w, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    SendMessageA(w, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

int CDialogWindow::SelectedIndex(int id) const {
    const LRESULT i = SendMessageA(Control(m_hWnd, id), CB_GETCURSEL, 0, 0);
    return i == CB_ERR ? -1 : static_cast<int>(i);
}

void CDialogWindow::SelectIndex(int id, int index) {
    // -1 or an index past the end removes the selection.
    SendMessageA(Control(m_hWnd, id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void CDialogWindow::RemoveItem(int id, int index) { SendMessageA(Control(m_hWnd, id), CB_DELETESTRING, index, 0); }

void CDialogWindow::Focus(int id) {
    // Through the dialog manager, so that the default button follows.
    HWND w = Control(m_hWnd, id);
    if (!w) return;
    SendMessageA(static_cast<HWND>(m_hWnd), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(w), TRUE);
    // A box over the dialog: the dialog would restore an older focus.
    m_nPendingFocus = GetActiveWindow() == static_cast<HWND>(m_hWnd) ? 0 : id;
}

void CDialogWindow::SetTextLimit(int id, int limit) { SendMessageA(Control(m_hWnd, id), EM_LIMITTEXT, limit, 0); }
