#include "ui/flash_dlg.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "engine/model_table.h"
#include "ports/port_state.h"
#include "ui/about_dlg.h"
#include "ui/app_art.h"
#include "ui/control_ids.h"
#include "ui/gui_call_queue.h"
#include "ui/message_boxes.h"
#include "ui/port_combo_box.h"

namespace {
constexpr int kPinCodeLimit = 16;
constexpr int kFriendlyNameLimit = 32;
}  // namespace

CFlashDlg::CFlashDlg(QWidget* parent)
    : QDialog(parent), m_units(DialogFont()), m_strModelTable(kModelTable) {
    m_pCalls = std::make_unique<CGuiCallQueue>();
    setFont(DialogFont());
    setWindowTitle(QStringLiteral("RTQ650 Flash Utility V4.00"));
    // Caption and system menu; no minimize or maximize box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    m_hIcon = FlashIcon();
    CreateControls();
    g_pMainDlg.store(this);
    InstallStopMessageHook();
}

CFlashDlg::~CFlashDlg() {
    // Workers still running get no answer from here on (their calls return
    // at once), so that waiting for their end below cannot deadlock.
    m_pCalls->Close();
    m_run.Release();
    RemoveStopMessageHook();
    // Boxes wait for the operator again once the ending dialog is gone.
    if (m_bEndSession) SuppressMessageBoxes(false);
    INotifyWindow* self = this;
    g_pMainDlg.compare_exchange_strong(self, nullptr);
}

QWidget* CFlashDlg::Control(int id) const {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CFlashDlg::EnableControl(int id, bool enable) {
    if (QWidget* w = Control(id)) w->setEnabled(enable);
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
    g_bCancelled.store(0);

    LoadDownloadTypes();

    auto selectText = [](QComboBox* cb, const QString& text) {
        const int i = cb->findText(text);
        if (i >= 0) cb->setCurrentIndex(i);
    };
    selectText(m_cbPort, m_strPort);
    selectText(m_cbParity, m_strParity);
    selectText(m_cbBaud, QString::number(m_nBaud));
    selectText(m_cbStopBits, QString::number(m_nStopBits));
    m_editDataBits->setText(QStringLiteral("8"));
    m_editDataFlow->setText(QStringLiteral("DTR / DSR"));
    m_editFile->setText(m_strFileName);

    // Until a link is picked only the link buttons, About and Exit work.
    for (int id : {IDC_TYPE, IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_STOPBITS, IDC_FILE, IDC_BROWSE,
                   IDOK_FLASH})
        EnableControl(id, false);

    m_editPinCode->setMaxLength(kPinCodeLimit);
    m_editFriendlyName->setMaxLength(kFriendlyNameLimit);
    // The first control of the tab order starts with the focus.
    m_btnSerial->setFocus();
    return true;
}

void CFlashDlg::accept() { OnOK(); }

void CFlashDlg::reject() { OnCancel(); }

void CFlashDlg::OnCancel() {
    // Esc and the close box do nothing while a download starts or runs.
    if (!m_bBusy) done(kDialogEndCode);
}

void CFlashDlg::OnExit() { done(kDialogEndCode); }

void CFlashDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}
