// The Win32 view of the main dialog: controls, boxes, the progress window
// and the dialog's thread.

#include "ports/port_state.h"
#include "winui/flash_dlg.h"
#include "winui/message_boxes.h"
#include "winui/transmit_dlg.h"

void CFlashDlg::EnableControl(int id, bool enable) { m_window.Enable(id, enable); }

bool CFlashDlg::IsChecked(int id) const { return m_window.IsChecked(id); }

std::string CFlashDlg::GetText(int id) const { return m_window.Text(id); }

void CFlashDlg::SetText(int id, const std::string& text) { m_window.SetText(id, text); }

void CFlashDlg::FillList(int id, const std::vector<std::string>& items) { m_window.FillList(id, items); }

int CFlashDlg::SelectedIndex(int id) const { return m_window.SelectedIndex(id); }

void CFlashDlg::SelectIndex(int id, int index) { m_window.SelectIndex(id, index); }

void CFlashDlg::RemoveItem(int id, int index) { m_window.RemoveItem(id, index); }

void CFlashDlg::SetFocus(int id) { m_window.Focus(id); }

void CFlashDlg::SetTextLimit(int id, int limit) { m_window.SetTextLimit(id, limit); }

void CFlashDlg::ShowBox(const std::string& text, BoxIcon icon, const std::string& hint) {
    const BoxKind kind = icon == BoxIcon::Information ? BoxKind::Information
                         : icon == BoxIcon::Warning   ? BoxKind::Warning
                                                      : BoxKind::Stop;
    ShowMessageBox(m_window.Handle(), text, kind, hint);
}

void CFlashDlg::SuppressBoxes(bool suppress) { SuppressMessageBoxes(suppress); }

void CFlashDlg::CloseBoxes() { CloseMessageBoxes(); }

void CFlashDlg::EndDialog(int code) { m_window.End(code); }

void CFlashDlg::OpenProgress(bool cancelEnabled) {
    m_pTransmitDlg = std::make_unique<CTransmitDlg>(m_window.Instance(), m_window.Handle(),
                                                    [] { g_bCancelled = 1; });
    m_pTransmitDlg->Open(cancelEnabled);
}

void CFlashDlg::CloseProgress() {
    // Joins the refresher and destroys the window.
    if (m_pTransmitDlg) m_pTransmitDlg->Close();
    m_pTransmitDlg.reset();
}

void CFlashDlg::DestroyProgress() { CloseProgress(); }

IProgressWindow* CFlashDlg::ProgressWindow() const { return m_pTransmitDlg.get(); }
