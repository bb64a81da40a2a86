#include "ui/flash_dlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "engine/model_table.h"
#include "ui/about_dlg.h"
#include "ui/app_art.h"
#include "dialog/control_ids.h"
#include "dialog/dialog_texts.h"
#include "ui/gui_call_queue.h"
#include "ui/message_boxes.h"
#include "ui/port_combo_box.h"

CFlashDlg::CFlashDlg(QWidget* parent)
    : QDialog(parent), m_units(DialogFont()) {
    m_pCalls = std::make_unique<CGuiCallQueue>();
    setFont(DialogFont());
    setWindowTitle(QStringLiteral(RTQ_TITLE_MAIN));
    // Caption and system menu; no minimize or maximize box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    m_hIcon = FlashIcon();
    CreateControls();
    FillFixedLists();
    Attach(m_pCalls->Queue());
}

CFlashDlg::~CFlashDlg() {
    Detach();
    // Boxes wait for the operator again once the ending dialog is gone.
    if (EndSessionRequested()) SuppressMessageBoxes(false);
}

QWidget* CFlashDlg::Control(int id) const {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CFlashDlg::setVisible(bool visible) {
    if (visible && !m_bInitialized) {
        m_bInitialized = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

bool CFlashDlg::OnInitDialog() {
    setWindowIcon(m_hIcon);
    InitControls();
    ShowDataFile();
    return true;
}

void CFlashDlg::accept() { OnOK(); }

void CFlashDlg::reject() { OnCancel(); }

void CFlashDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}
