#include "ui/transmit_dlg.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>

#include <cstdint>

#include "dialog/dialog_texts.h"
#include "ports/port_state.h"
#include "ui/dialog_units.h"
#include "ui/gui_call_queue.h"

namespace {

template <typename W>
W* MakeControl(QWidget* parent, int id, const QRect& rect) {
    auto* w = new W(parent);
    w->setObjectName(QStringLiteral("idc_%1").arg(id));
    w->setProperty("controlId", id);
    w->setGeometry(rect);
    return w;
}

}  // namespace

CTransmitDlg::CTransmitDlg(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint) {
    // The window template: caption and frame, no system menu.
    setObjectName(QStringLiteral("idd_%1").arg(IDD));
    setWindowTitle(QStringLiteral(RTQ_TITLE_PROGRESS));
    setModal(false);
    setFont(DialogFont());
    const CDialogUnits du(font());
    setFixedSize(du.X(192), du.Y(87));
    move(du.X(75), du.Y(50));

    auto* group = MakeControl<QGroupBox>(this, IDC_STATUS, du.Rect(7, 7, 178, 73));
    group->setTitle(QStringLiteral(" Percent: "));
    // The bar and the button lie inside the group box's rectangle but are
    // children of the dialog, as in the template.
    auto* bar = MakeControl<QProgressBar>(this, IDC_PROGRESS,
                                          du.Rect(15, 32, 158, 14));
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    auto* cancel = MakeControl<QPushButton>(this, IDC_CANCEL,
                                            du.Rect(123, 56, 50, 14));
    cancel->setText(QStringLiteral("Cancel"));
    // Never the default button, so that Enter does not press it.
    cancel->setAutoDefault(false);
    cancel->setDefault(false);
    cancel->setFocusPolicy(Qt::TabFocus);
    connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });

    DoDataExchange();
    m_guiCalls = new CGuiCallQueue(this);
}

CTransmitDlg::~CTransmitDlg() {
    // The refresher uses this object: it must be gone first, whichever
    // way the object is destroyed.
    StopRefresher();
}

void CTransmitDlg::DoDataExchange() {
    m_grpStatus = findChild<QGroupBox*>(QStringLiteral("idc_%1").arg(IDC_STATUS));
    m_ctlProgress =
        findChild<QProgressBar*>(QStringLiteral("idc_%1").arg(IDC_PROGRESS));
    m_btnCancel = findChild<QPushButton*>(QStringLiteral("idc_%1").arg(IDC_CANCEL));
}

void CTransmitDlg::PostNcDestroy() { deleteLater(); }

bool CTransmitDlg::OnInitDialog() {
    m_grpStatus->setTitle(QString());
    return true;
}

void CTransmitDlg::OnOK() {}

void CTransmitDlg::OnCancel() {
    SetStop(1);
    g_bCancelled = 1;
}

void CTransmitDlg::accept() { OnOK(); }

void CTransmitDlg::reject() {
    // Esc and the close request act like the button, and like the button
    // do nothing while it is disabled: a run that offers no Cancel must not
    // be reported as cancelled.
    if (m_btnCancel->isEnabled()) OnCancel();
}

void CTransmitDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (!m_bClosing) reject();
}

void CTransmitDlg::Open(bool cancelEnabled) {
    OnInitDialog();
    CentreOverOwner();
    show();
    // Above the owner and active, so that Esc reaches it at once.
    raise();
    activateWindow();
    repaint();
    EnableCancel(cancelEnabled ? 1 : 0);
    if (!m_refresher.joinable() && !IsStopped())
        m_refresher = std::thread(&CTransmitDlg::ProgressUpdateProc, this);
}

void CTransmitDlg::CentreOverOwner() {
    const QWidget* owner = parentWidget();
    if (!owner) return;
    // Client area centred on the owner's client area; move() places the
    // frame, which is assumed to be like the owner's.
    const QPoint frameOffset = owner->geometry().topLeft() - owner->frameGeometry().topLeft();
    const QPoint client = owner->geometry().center() - QPoint(width() / 2, height() / 2);
    move(client - frameOffset);
}

void CTransmitDlg::Close() {
    if (m_bClosing) return;
    m_bClosing = true;
    StopRefresher();
    hide();
    PostNcDestroy();
}

void CTransmitDlg::StopRefresher() {
    SetStop(1);
    if (m_refresher.joinable() &&
        m_refresher.get_id() != std::this_thread::get_id())
        m_refresher.join();
}

bool CTransmitDlg::RefresherRunning() const { return m_refresher.joinable(); }

void CTransmitDlg::SetRangePos(int upper, int pos) {
    m_nRange = upper;
    m_nPos = pos;
}

void CTransmitDlg::SetStatusText(const std::string& text) {
    SetStatusText(QString::fromStdString(text));
}

void CTransmitDlg::SetStatusText(const QString& text) {
    std::lock_guard<std::mutex> lk(m_statusMutex);
    m_strStatus = text;
}

QString CTransmitDlg::StatusText() const {
    std::lock_guard<std::mutex> lk(m_statusMutex);
    return m_strStatus;
}

void CTransmitDlg::SetStep(int step) { m_nStep = step; }

void CTransmitDlg::SetAutoStep(int flag) { m_bAutoStep = flag; }

void CTransmitDlg::SetStop(int flag) {
    m_bStop = flag;
    if (flag)
        m_eventStop.Set();
    else
        m_eventStop.Reset();
}

int CTransmitDlg::IsStopped() const { return m_bStop; }

void CTransmitDlg::EnableCancel(int flag) { m_btnCancel->setEnabled(flag != 0); }

bool CTransmitDlg::IsCancelEnabled() const { return m_btnCancel->isEnabled(); }

void CTransmitDlg::Refresh() {
    const QString status = StatusText();
    const int range = m_nRange;
    const int pos = m_nPos;
    // Direct on the user-interface thread, queued from the refresher: the
    // refresher never waits for the user-interface thread, which may be
    // joining it.
    if (m_guiCalls->OnOwnerThread())
        ApplyToControls(status, range, pos);
    else
        m_guiCalls->Post(
            [this, status, range, pos] { ApplyToControls(status, range, pos); });

    if (m_bAutoStep &&
        static_cast<uint32_t>(pos) < static_cast<uint32_t>(range)) {
        // Wrapping 32-bit addition; a position the downloader stored
        // meanwhile wins over the step.
        int expected = pos;
        const int next = static_cast<int>(static_cast<uint32_t>(pos) +
                                          static_cast<uint32_t>(m_nStep.load()));
        m_nPos.compare_exchange_strong(expected, next);
    }
}

void CTransmitDlg::ApplyToControls(const QString& status, int range, int pos) {
    m_grpStatus->setTitle(status);
    // The bar shows the position clamped to 0 .. range; an empty range
    // shows an empty bar (Qt would animate a 0 .. 0 range instead).
    if (range > 0) {
        m_ctlProgress->setRange(0, range);
        m_ctlProgress->setValue(pos < 0 ? 0 : (pos > range ? range : pos));
    } else {
        m_ctlProgress->setRange(0, 1);
        m_ctlProgress->setValue(0);
    }
}

void CTransmitDlg::ProgressUpdateProc(CTransmitDlg* dlg) {
    while (!dlg->IsStopped()) {
        dlg->Refresh();
        dlg->m_eventStop.Wait(kRefreshMs);
    }
}
