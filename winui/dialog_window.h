#pragma once
// The main dialog's window (template IDD_MAIN): its controls by identifier,
// tool tips, icon, About and the file dialog. Free of <windows.h> (handles
// are void*), because the core's side of the dialog defines handle types
// of its own; the operator's actions arrive as DialogAction.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

enum class DialogAction { FlashNow, Cancel, Serial, Bluetooth, Usb, TypeChanged, Browse, About, Exit };

class IDialogWindowEvents {
public:
    virtual ~IDialogWindowEvents() = default;
    // The window and its controls exist.
    virtual void OnInitDialog() = 0;
    virtual void OnAction(DialogAction action) = 0;
    // The session is ending: true when it may end now, false to hold it
    // while a run finishes.
    virtual bool OnQueryEndSession() = 0;
    // PostCallsPending was called.
    virtual void OnCallsPending() = 0;
    // The window is going.
    virtual void OnDestroy() = 0;
};

class CDialogWindow {
public:
    CDialogWindow(void* instance, IDialogWindowEvents& events);
    CDialogWindow(const CDialogWindow&) = delete;
    CDialogWindow& operator=(const CDialogWindow&) = delete;
    ~CDialogWindow();

    // Runs the dialog modally; its end code.
    intptr_t DoModal();
    void End(int code);
    void* Handle() const { return m_hWnd; }
    void* Instance() const { return m_hInstance; }
    // From any thread: OnCallsPending follows on the window's thread (not
    // before the window exists; nothing once it is gone).
    void PostCallsPending();

    void Enable(int id, bool enable);
    bool IsEnabled(int id) const;
    bool IsChecked(int id) const;
    // Edit boxes: their text; lists: the selected item's text.
    std::string Text(int id) const;
    // Edit boxes: the text; lists: selects the item of exactly that text.
    void SetText(int id, const std::string& text);
    void FillList(int id, const std::vector<std::string>& items);
    int SelectedIndex(int id) const;
    void SelectIndex(int id, int index);
    void RemoveItem(int id, int index);
    void Focus(int id);
    void SetTextLimit(int id, int limit);

    void ShowAbout();
    // The system's file dialog with one filter; true when a file was
    // chosen that opens for reading (full path and name without folder).
    // A file that does not open is reported to the operator.
    bool ChooseFile(const std::string& description, const std::string& extension,
                    std::string* path, std::string* name);

    // The window procedure's work (called by the procedure only).
    intptr_t OnMessage(unsigned msg, uintptr_t wParam, intptr_t lParam);
    void Attach(void* hwnd) { m_hWnd = hwnd; }

private:
    void OnInit();
    void OnCommand(int id, int code);
    void CreateToolTips();
    intptr_t OnToolTipNeedText(void* hdr);

    void* m_hInstance;
    IDialogWindowEvents& m_events;
    void* m_hWnd = nullptr;
    // Read by PostCallsPending from the workers' threads.
    std::atomic<void*> m_hWndForCalls{nullptr};
    void* m_hIcon = nullptr;
    void* m_hIconSmall = nullptr;
    void* m_hToolTip = nullptr;
    // The control to take the focus once the dialog is active again.
    int m_nPendingFocus = 0;
};
