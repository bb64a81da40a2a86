#pragma once
// The main dialog on Windows: the Win32 view of the toolkit-free dialog.
// The window side (CDialogWindow, CTransmitDlg) draws the real controls;
// this side forwards the operator's actions to the handlers of
// CFlashDlgCore and carries the workers' calls over to the window's thread
// as window messages.

#include <memory>
#include <string>
#include <vector>

#include "dialog/flash_dlg_base.h"
#include "platform/call_queue.h"
#include "winui/dialog_window.h"

class CTransmitDlg;

class CFlashDlg : public CFlashDlgBase, private IDialogWindowEvents {
public:
    explicit CFlashDlg(void* instance);
    ~CFlashDlg() override;
    CFlashDlg(const CFlashDlg&) = delete;
    CFlashDlg& operator=(const CFlashDlg&) = delete;

    // Runs the dialog modally; its end code.
    intptr_t DoModal() { return m_window.DoModal(); }

private:
    // The window's events.
    void OnInitDialog() override;
    void OnAction(DialogAction action) override;
    bool OnQueryEndSession() override;
    void OnCallsPending() override;
    void OnDestroy() override;
    void OnBrowse();

    // The view of the toolkit-free dialog.
    void EnableControl(int id, bool enable) override;
    bool IsChecked(int id) const override;
    std::string GetText(int id) const override;
    void SetText(int id, const std::string& text) override;
    void FillList(int id, const std::vector<std::string>& items) override;
    int SelectedIndex(int id) const override;
    void SelectIndex(int id, int index) override;
    void RemoveItem(int id, int index) override;
    void SetFocus(int id) override;
    void SetTextLimit(int id, int limit) override;
    void ShowBox(const std::string& text, BoxIcon icon, const std::string& hint) override;
    void SuppressBoxes(bool suppress) override;
    void CloseBoxes() override;
    void EndDialog(int code) override;
    void OpenProgress(bool cancelEnabled) override;
    void CloseProgress() override;
    void DestroyProgress() override;
    IProgressWindow* ProgressWindow() const override;

    CDialogWindow m_window;
    std::unique_ptr<CTransmitDlg> m_pTransmitDlg;
    std::unique_ptr<rtq::CallQueue> m_pCalls;
};
