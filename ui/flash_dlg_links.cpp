// Picking the link and the download type.

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "ports/port_state.h"
#include "ui/control_ids.h"
#include "ui/flash_dlg.h"
#include "ui/port_combo_box.h"

namespace {

void EnableAll(CFlashDlg* dlg, std::initializer_list<int> ids, bool enable) {
    for (int id : ids)
        if (QWidget* w = dlg->Control(id)) w->setEnabled(enable);
}

}  // namespace

void CFlashDlg::OnSerialPort() {
    g_bUsbLink.store(0);
    m_cbPort->FillPorts();
    LoadDownloadTypes();
    EnableAll(this, {IDC_TYPE, IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_STOPBITS, IDC_FILE, IDC_BROWSE,
                     IDOK_FLASH},
              true);
}

void CFlashDlg::OnBluetooth() {
    g_bUsbLink.store(0);
    m_cbPort->FillPorts();
    LoadDownloadTypes();
    m_cbBaud->setCurrentIndex(0);
    // The initial program loader is never written over Bluetooth.
    const bool removingCurrent = m_cbType->currentIndex() == 1;
    m_cbType->removeItem(1);
    if (removingCurrent) m_cbType->setCurrentIndex(-1);
    EnableAll(this, {IDC_TYPE, IDC_PORT, IDC_FILE, IDC_BROWSE, IDOK_FLASH}, true);
    EnableAll(this, {IDC_BAUD, IDC_PARITY, IDC_STOPBITS}, false);
}

void CFlashDlg::OnUsbInterface() {
    LoadDownloadTypes();
    for (QComboBox* cb : {static_cast<QComboBox*>(m_cbPort), m_cbBaud, m_cbParity, m_cbStopBits})
        cb->setCurrentIndex(-1);
    g_bUsbLink.store(1);
    m_editDataBits->clear();
    m_editDataFlow->clear();
    EnableAll(this, {IDC_TYPE, IDC_FILE, IDC_BROWSE, IDOK_FLASH}, true);
    EnableAll(this, {IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_STOPBITS}, false);
}

void CFlashDlg::OnSelchangeType() {
    if (m_editFile->text() != QLatin1String("BINARY FILE")) {
        m_strFilePath.clear();
        m_strFileName.clear();
        m_editFile->clear();
    }
    const QString type = m_cbType->currentText();

    m_bPinCode = type.compare(QLatin1String("Pin Code"), Qt::CaseInsensitive) == 0;
    m_editPinCode->setEnabled(m_bPinCode);
    m_btnBrowse->setEnabled(!m_bPinCode);

    // Runs after the PIN code step, so Browse follows the friendly name alone.
    m_bFriendlyName = type.compare(QLatin1String("Friendly Name"), Qt::CaseInsensitive) == 0;
    m_editFriendlyName->setEnabled(m_bFriendlyName);
    m_btnBrowse->setEnabled(!m_bFriendlyName);
}
