// The Qt view of the main dialog: controls by identifier, texts converted
// at the boundary, boxes and the dialog's thread.

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

#include "ui/device_text.h"
#include "ui/flash_dlg.h"
#include "ui/message_boxes.h"
#include "ui/port_combo_box.h"
#include "ui/transmit_dlg.h"

void CFlashDlg::EnableControl(int id, bool enable) {
    if (QWidget* w = Control(id)) w->setEnabled(enable);
}

bool CFlashDlg::IsChecked(int id) const {
    const auto* button = qobject_cast<const QAbstractButton*>(Control(id));
    return button && button->isChecked();
}

std::string CFlashDlg::GetText(int id) const {
    QWidget* w = Control(id);
    if (const auto* cb = qobject_cast<const QComboBox*>(w)) return ToDeviceText(cb->currentText());
    if (const auto* edit = qobject_cast<const QLineEdit*>(w)) return ToDeviceText(edit->text());
    return {};
}

void CFlashDlg::SetText(int id, const std::string& text) {
    QWidget* w = Control(id);
    if (auto* cb = qobject_cast<QComboBox*>(w)) {
        const int i = cb->findText(FromDeviceText(text));
        if (i >= 0) cb->setCurrentIndex(i);
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->setText(FromDeviceText(text));
    }
}

void CFlashDlg::FillList(int id, const std::vector<std::string>& items) {
    auto* cb = qobject_cast<QComboBox*>(Control(id));
    if (!cb) return;
    cb->clear();
    for (const std::string& item : items) cb->addItem(FromDeviceText(item));
    cb->setCurrentIndex(-1);
    if (auto* ports = qobject_cast<CPortComboBox*>(cb)) ports->RefreshDevices();
}

int CFlashDlg::SelectedIndex(int id) const {
    const auto* cb = qobject_cast<const QComboBox*>(Control(id));
    return cb ? cb->currentIndex() : -1;
}

void CFlashDlg::SelectIndex(int id, int index) {
    if (auto* cb = qobject_cast<QComboBox*>(Control(id))) cb->setCurrentIndex(index);
}

void CFlashDlg::RemoveItem(int id, int index) {
    if (auto* cb = qobject_cast<QComboBox*>(Control(id))) cb->removeItem(index);
}

void CFlashDlg::SetItemTip(int id, int index, const std::string& tip) {
    auto* cb = qobject_cast<QComboBox*>(Control(id));
    if (!cb) return;
    if (auto* ports = qobject_cast<CPortComboBox*>(cb))
        ports->SetFixedTip(index, FromDeviceText(tip));
    else
        cb->setItemData(index, FromDeviceText(tip), Qt::ToolTipRole);
}

void CFlashDlg::SetFocus(int id) {
    if (QWidget* w = Control(id)) w->setFocus(Qt::OtherFocusReason);
}

void CFlashDlg::SetTextLimit(int id, int limit) {
    if (auto* edit = qobject_cast<QLineEdit*>(Control(id))) edit->setMaxLength(limit);
}

void CFlashDlg::ShowBox(const std::string& text, BoxIcon icon, const std::string& hint) {
    const QMessageBox::Icon qtIcon = icon == BoxIcon::Information ? QMessageBox::Information
                                     : icon == BoxIcon::Warning   ? QMessageBox::Warning
                                                                  : QMessageBox::Critical;
    ShowMessageBox(this, FromDeviceText(text), qtIcon, FromDeviceText(hint));
}

void CFlashDlg::SuppressBoxes(bool suppress) { SuppressMessageBoxes(suppress); }

void CFlashDlg::CloseBoxes() { CloseModalBoxes(this); }

void CFlashDlg::EndDialog(int code) { done(code); }

void CFlashDlg::OpenProgress(bool cancelEnabled) {
    // Owned by the dialog, so that the dialog's modality leaves it its
    // input (Cancel, Esc) and the window manager keeps it above.
    m_pTransmitDlg = new CTransmitDlg(this);
    m_pTransmitDlg->Open(cancelEnabled);
}

void CFlashDlg::CloseProgress() {
    CTransmitDlg* dlg = m_pTransmitDlg;
    if (!dlg) return;
    m_pTransmitDlg.clear();
    // Joins the refresher, then the object deletes itself.
    dlg->Close();
}

void CFlashDlg::DestroyProgress() {
    CTransmitDlg* dlg = m_pTransmitDlg;
    if (!dlg) return;
    m_pTransmitDlg.clear();
    dlg->Close();
    // No event loop may run any more to carry out its own deletion.
    delete dlg;
}

IProgressWindow* CFlashDlg::ProgressWindow() const { return m_pTransmitDlg.data(); }

CTransmitDlg* CFlashDlg::ProgressDlg() const { return m_pTransmitDlg; }
