#include "winui/transmit_dlg.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "winui/resource.h"

namespace {

// From the refresher: show the values now.
constexpr UINT WM_APP_REFRESH = WM_APP + 2;

HWND Hwnd(void* handle) { return static_cast<HWND>(handle); }

// The main dialog's modal loop hands keys to the main dialog only; a hook
// on that loop gives the open progress window its own (Tab, Esc). Enter is
// dropped there: it would press the focused Cancel button, and Enter must
// never cancel. User-interface thread only.
HHOOK g_hKeysHook = nullptr;
HWND g_hKeysWindow = nullptr;

LRESULT CALLBACK ProgressKeysHook(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code >= 0 && g_hKeysWindow &&
        (msg->hwnd == g_hKeysWindow || IsChild(g_hKeysWindow, msg->hwnd))) {
        const bool key = msg->message == WM_KEYDOWN || msg->message == WM_KEYUP || msg->message == WM_CHAR;
        if (key && msg->wParam == VK_RETURN) return TRUE;
        if (IsDialogMessageA(g_hKeysWindow, msg)) return TRUE;
    }
    return CallNextHookEx(g_hKeysHook, code, wParam, lParam);
}

INT_PTR CALLBACK TransmitDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<CTransmitDlg*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!self) return FALSE;
    switch (msg) {
    case WM_APP_REFRESH:
        // A refresh asked for before Cancel froze the window is dropped.
        if (!self->IsStopped()) self->Refresh();
        return TRUE;
    case WM_COMMAND:
        // Enter never closes the window; Esc and the button act alike.
        if (LOWORD(wParam) == IDC_PROGRESS_CANCEL || LOWORD(wParam) == IDCANCEL)
            self->CancelIfOffered();
        return TRUE;
    case WM_CLOSE:
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

CTransmitDlg::CTransmitDlg(void* instance, void* owner, std::function<void()> onCancel)
    : m_hInstance(instance), m_hOwner(owner), m_onCancel(std::move(onCancel)) {}

CTransmitDlg::~CTransmitDlg() { Close(); }

void CTransmitDlg::Open(bool cancelEnabled) {
    m_hWnd = CreateDialogParamA(static_cast<HINSTANCE>(m_hInstance), MAKEINTRESOURCEA(IDD_PROGRESS),
                                Hwnd(m_hOwner), TransmitDlgProc, reinterpret_cast<LPARAM>(this));
    if (!m_hWnd) return;
    // The status caption stays empty until the first refresh.
    SetDlgItemTextA(Hwnd(m_hWnd), IDC_PROGRESS_STATUS, "");
    g_hKeysWindow = Hwnd(m_hWnd);
    if (!g_hKeysHook) g_hKeysHook = SetWindowsHookExA(WH_MSGFILTER, ProgressKeysHook, nullptr, GetCurrentThreadId());
    ShowWindow(Hwnd(m_hWnd), SW_SHOW);
    UpdateWindow(Hwnd(m_hWnd));
    EnableCancel(cancelEnabled ? 1 : 0);
    if (!m_refresher.joinable() && !IsStopped())
        m_refresher = std::thread(&CTransmitDlg::ProgressUpdateProc, this);
}

void CTransmitDlg::Close() {
    SetStop(1);
    if (m_refresher.joinable()) m_refresher.join();
    if (m_hWnd) {
        HWND hwnd = Hwnd(m_hWnd);
        m_hWnd = nullptr;
        if (g_hKeysWindow == hwnd) {
            g_hKeysWindow = nullptr;
            UnhookWindowsHookEx(g_hKeysHook);
            g_hKeysHook = nullptr;
        }
        DestroyWindow(hwnd);
    }
}

void CTransmitDlg::SetRangePos(int upper, int pos) {
    m_nRange = upper;
    m_nPos = pos;
}

void CTransmitDlg::SetStatusText(const std::string& text) { m_strStatus = text; }

void CTransmitDlg::SetStop(int flag) {
    m_bStop.store(flag);
    if (flag)
        m_eventStop.Set();
    else
        m_eventStop.Reset();
}

void CTransmitDlg::EnableCancel(int flag) {
    if (m_hWnd) EnableWindow(GetDlgItem(Hwnd(m_hWnd), IDC_PROGRESS_CANCEL), flag != 0);
}

bool CTransmitDlg::IsCancelEnabled() const {
    return m_hWnd && IsWindowEnabled(GetDlgItem(Hwnd(m_hWnd), IDC_PROGRESS_CANCEL));
}

void CTransmitDlg::CancelIfOffered() {
    // A run that offers no Cancel must not be reported as cancelled.
    if (IsCancelEnabled()) OnCancel();
}

void CTransmitDlg::OnCancel() {
    SetStop(1);
    if (m_onCancel) m_onCancel();
}

void CTransmitDlg::Refresh() {
    if (!m_hWnd) return;
    SetDlgItemTextA(Hwnd(m_hWnd), IDC_PROGRESS_STATUS, m_strStatus.c_str());
    HWND bar = GetDlgItem(Hwnd(m_hWnd), IDC_PROGRESS_BAR);
    // An empty range shows an empty bar.
    SendMessageA(bar, PBM_SETRANGE32, 0, m_nRange > 0 ? m_nRange : 1);
    SendMessageA(bar, PBM_SETPOS, m_nRange > 0 ? m_nPos : 0, 0);
    if (m_bAutoStep && static_cast<uint32_t>(m_nPos) < static_cast<uint32_t>(m_nRange))
        m_nPos = static_cast<int>(static_cast<uint32_t>(m_nPos) + static_cast<uint32_t>(m_nStep));
}

void CTransmitDlg::ProgressUpdateProc() {
    HWND hwnd = Hwnd(m_hWnd);
    while (!IsStopped()) {
        // Posted, never sent: the user-interface thread may be joining us.
        PostMessageA(hwnd, WM_APP_REFRESH, 0, 0);
        m_eventStop.Wait(kRefreshMs);
    }
}
