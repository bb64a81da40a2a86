#include "winui/dialog_window.h"

#include <windows.h>
#include <commctrl.h>

#include "winui/control_ids_rc.h"
#include "winui/resource.h"

namespace {

// Calls are waiting in the dialog's queue.
constexpr UINT WM_APP_CALLS = WM_APP + 1;
constexpr uintptr_t kAboutCommand = 0x10;

HWND Hwnd(void* handle) { return static_cast<HWND>(handle); }

INT_PTR CALLBACK MainDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        reinterpret_cast<CDialogWindow*>(lParam)->Attach(hwnd);
    }
    auto* self = reinterpret_cast<CDialogWindow*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    return self ? self->OnMessage(msg, wParam, lParam) : FALSE;
}

INT_PTR CALLBACK AboutProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

CDialogWindow::CDialogWindow(void* instance, IDialogWindowEvents& events)
    : m_hInstance(instance), m_events(events) {}

CDialogWindow::~CDialogWindow() {
    if (m_hIcon) DestroyIcon(static_cast<HICON>(m_hIcon));
    if (m_hIconSmall) DestroyIcon(static_cast<HICON>(m_hIconSmall));
}

intptr_t CDialogWindow::DoModal() {
    return DialogBoxParamA(static_cast<HINSTANCE>(m_hInstance), MAKEINTRESOURCEA(IDD_MAIN), nullptr,
                           MainDialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialogWindow::End(int code) { EndDialog(Hwnd(m_hWnd), code); }

void CDialogWindow::PostCallsPending() {
    if (void* hwnd = m_hWndForCalls.load()) PostMessageA(Hwnd(hwnd), WM_APP_CALLS, 0, 0);
}

intptr_t CDialogWindow::OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        OnInit();
        // The focus was placed by the dialog's initialisation.
        return FALSE;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lParam);
        if (hdr->code != TTN_GETDISPINFOA && hdr->code != TTN_GETDISPINFOW) return FALSE;
        SetWindowLongPtrA(Hwnd(m_hWnd), DWLP_MSGRESULT, OnToolTipNeedText(hdr));
        return TRUE;
    }
    case WM_ACTIVATE:
        // The dialog manager gives the focus back to the control that had
        // it before a box took over; a focus asked for meanwhile comes after.
        if (LOWORD(wParam) != WA_INACTIVE && m_nPendingFocus) {
            PostMessageA(Hwnd(m_hWnd), WM_NEXTDLGCTL,
                         reinterpret_cast<WPARAM>(GetDlgItem(Hwnd(m_hWnd), m_nPendingFocus)), TRUE);
            m_nPendingFocus = 0;
        }
        return FALSE;
    case WM_QUERYENDSESSION:
        SetWindowLongPtrA(Hwnd(m_hWnd), DWLP_MSGRESULT, m_events.OnQueryEndSession() ? TRUE : FALSE);
        return TRUE;
    case WM_SYSCOMMAND:
        // The About command of the system menu (no entry carries it, as
        // the string table has no text for one).
        if ((wParam & 0xFFF0) != kAboutCommand) return FALSE;
        ShowAbout();
        return TRUE;
    case WM_APP_CALLS:
        m_events.OnCallsPending();
        return TRUE;
    case WM_DESTROY:
        m_hWndForCalls.store(nullptr);
        m_events.OnDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

void CDialogWindow::OnInit() {
    const auto instance = static_cast<HINSTANCE>(m_hInstance);
    m_hIcon = LoadImageA(instance, MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON,
                         GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0);
    m_hIconSmall = LoadImageA(instance, MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON,
                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0);
    SendMessageA(Hwnd(m_hWnd), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(Hwnd(m_hWnd), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIconSmall));
    CreateToolTips();
    m_events.OnInitDialog();
    // Calls queued before the window existed run now.
    m_hWndForCalls.store(m_hWnd);
    m_events.OnCallsPending();
}

void CDialogWindow::OnCommand(int id, int code) {
    switch (id) {
    case IDOK_FLASH:
        // Enter reaches here as well: nothing while FLASH NOW is disabled.
        if (IsEnabled(IDOK_FLASH)) m_events.OnAction(DialogAction::FlashNow);
        return;
    case IDCANCEL:
        m_events.OnAction(DialogAction::Cancel);
        return;
    case IDC_SERIAL:
        if (code == BN_CLICKED) m_events.OnAction(DialogAction::Serial);
        return;
    case IDC_BLUETOOTH:
        if (code == BN_CLICKED) m_events.OnAction(DialogAction::Bluetooth);
        return;
    case IDC_USB:
        if (code == BN_CLICKED) m_events.OnAction(DialogAction::Usb);
        return;
    case IDC_TYPE:
        if (code == CBN_SELCHANGE) m_events.OnAction(DialogAction::TypeChanged);
        return;
    case IDC_FILE:
        // The read-only file box shows no text cursor.
        if (code == EN_SETFOCUS) DestroyCaret();
        return;
    case IDC_BROWSE:
        if (code == BN_CLICKED) m_events.OnAction(DialogAction::Browse);
        return;
    case IDC_ABOUT:
        if (code == BN_CLICKED) m_events.OnAction(DialogAction::About);
        return;
    case IDC_EXIT:
        if (code == BN_CLICKED) m_events.OnAction(DialogAction::Exit);
        return;
    default:
        return;
    }
}

void CDialogWindow::ShowAbout() {
    DialogBoxParamA(static_cast<HINSTANCE>(m_hInstance), MAKEINTRESOURCEA(IDD_ABOUT), Hwnd(m_hWnd),
                    AboutProc, 0);
}
