// Tool tips of the main dialog: one tool per control, its text the string
// resource with the control's identifier (none: an empty tip).

#include <windows.h>
#include <commctrl.h>

#include "winui/dialog_window.h"

namespace {

struct ToolSet {
    HWND tip;
    HWND dialog;
};

BOOL CALLBACK AddTool(HWND control, LPARAM lParam) {
    const auto* set = reinterpret_cast<const ToolSet*>(lParam);
    TOOLINFOA info = {};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = set->dialog;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = LPSTR_TEXTCALLBACKA;
    SendMessageA(set->tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
    return TRUE;
}

}  // namespace

void CDialogWindow::CreateToolTips() {
    HWND dialog = static_cast<HWND>(m_hWnd);
    HWND tip = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                               static_cast<HINSTANCE>(m_hInstance), nullptr);
    m_hToolTip = tip;
    if (!tip) return;
    const ToolSet set{tip, dialog};
    EnumChildWindows(dialog, AddTool, reinterpret_cast<LPARAM>(&set));
}

intptr_t CDialogWindow::OnToolTipNeedText(void* header) {
    auto* hdr = static_cast<NMHDR*>(header);
    // Tools are identified by their window: the tip is the string resource
    // with that control's identifier.
    const int id = GetDlgCtrlID(reinterpret_cast<HWND>(hdr->idFrom));
    if (id == 0) return 0;
    const auto instance = static_cast<HINSTANCE>(m_hInstance);
    if (hdr->code == TTN_GETDISPINFOA) {
        auto* info = reinterpret_cast<NMTTDISPINFOA*>(hdr);
        info->hinst = instance;
        info->lpszText = MAKEINTRESOURCEA(id);
    } else {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(hdr);
        info->hinst = instance;
        info->lpszText = MAKEINTRESOURCEW(id);
    }
    return 0;
}
