// The main dialog's controls: identifiers, kinds, texts, list items, tips
// and their places in dialog units.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "dialog/control_ids.h"
#include "dialog/dialog_texts.h"
#include "ui/flash_dlg.h"
#include "ui/port_combo_box.h"
#include "ui/tool_tips.h"

namespace {

constexpr int kDialogWidth = 321;
constexpr int kDialogHeight = 248;
constexpr int kListHeight = 12;
constexpr int kEditHeight = 12;

const char kCaution[] = RTQ_CAUTION;

}  // namespace

void CFlashDlg::RegisterControl(QWidget* w, int id) {
    w->setProperty("controlId", id);
    w->setObjectName(QStringLiteral("idc_%1").arg(id));
    w->setToolTip(ToolTipForControl(id));
    m_controls[id] = w;
}

void CFlashDlg::CreateControls() {
    const CDialogUnits& du = m_units;
    setFixedSize(du.X(kDialogWidth), du.Y(kDialogHeight));

    // Frames first, so that the controls inside lie above them.
    auto* groupPort = new QGroupBox(QStringLiteral("Communication port"), this);
    groupPort->setGeometry(du.Rect(53, 7, 215, 40));
    auto* groupProps = new QGroupBox(QStringLiteral(" Properties"), this);
    groupProps->setGeometry(du.Rect(7, 55, 159, 165));
    auto* groupFile = new QGroupBox(QString(), this);
    groupFile->setGeometry(du.Rect(170, 55, 142, 165));
    // Classic frames: the title sits on the frame line, half a line below
    // the top of the box.
    const QString frameStyle = QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: %1px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
        " left: %2px; padding: 0px 1px; }")
                                   .arg(du.BaseY() / 2)
                                   .arg(du.X(5));
    for (QGroupBox* g : {groupPort, groupProps, groupFile}) g->setStyleSheet(frameStyle);

    auto radio = [&](int id, const char* text, int x, int width) {
        auto* b = new QRadioButton(QString::fromLatin1(text), this);
        b->setGeometry(du.Rect(x, 24, width, 10));
        RegisterControl(b, id);
        return b;
    };
    m_btnSerial = radio(IDC_SERIAL, "Serial Port", 69, 58);
    QRadioButton* bluetooth = radio(IDC_BLUETOOTH, "Bluetooth", 132, 58);
    radio(IDC_USB, "USB Interface", 196, 68);
    connect(m_btnSerial, &QRadioButton::clicked, this, [this] { OnSerialPort(); });
    connect(bluetooth, &QRadioButton::clicked, this, [this] { OnBluetooth(); });
    connect(static_cast<QRadioButton*>(Control(IDC_USB)), &QRadioButton::clicked, this,
            [this] { OnUsbInterface(); });
    connect(bluetooth, &QRadioButton::toggled, this,
            [this](bool on) { OnBluetoothToggled(on); });

    auto label = [&](const char* text, int y) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setGeometry(du.Rect(17, y + 2, 62, 8));
        return l;
    };
    label("Download Type : ", 68);
    label("Port :", 83);
    label("Baud Rate :", 98);
    label("Parity Bit :", 114);
    label("Stop Bit :", 130);
    label("Data Bit :", 146);
    label("Data Flow :", 162);
    label("Pin Code:", 177);
    label("Friendly Name", 192);

    // The items come from the dialog's behaviour.
    auto list = [&](QComboBox* cb, int id, int y) {
        cb->setGeometry(du.Rect(80, y, 81, kListHeight));
        RegisterControl(cb, id);
        return cb;
    };
    m_cbType = list(new QComboBox(this), IDC_TYPE, 68);
    m_cbPort = static_cast<CPortComboBox*>(list(new CPortComboBox(this), IDC_PORT, 83));
    m_cbBaud = list(new QComboBox(this), IDC_BAUD, 98);
    m_cbParity = list(new QComboBox(this), IDC_PARITY, 114);
    m_cbStopBits = list(new QComboBox(this), IDC_STOPBITS, 130);
    // A user's choice of type; the port list's choice has no action.
    connect(m_cbType, &QComboBox::activated, this, [this] { OnSelchangeType(); });

    auto edit = [&](int id, QRect r) {
        auto* e = new QLineEdit(this);
        e->setGeometry(r);
        RegisterControl(e, id);
        return e;
    };
    m_editDataBits = edit(IDC_DATABITS, du.Rect(80, 146, 72, kEditHeight));
    m_editDataBits->setEnabled(false);
    m_editDataFlow = edit(IDC_DATAFLOW, du.Rect(80, 162, 72, kEditHeight));
    m_editDataFlow->setEnabled(false);
    m_editPinCode = edit(IDC_PINCODE, du.Rect(80, 177, 72, kEditHeight));
    m_editPinCode->setEnabled(false);
    m_editFriendlyName = edit(IDC_FRIENDLYNAME, du.Rect(80, 192, 79, kEditHeight));
    m_editFriendlyName->setEnabled(false);
    // Read-only: a read-only line edit shows no text cursor.
    m_editFile = edit(IDC_FILE, du.Rect(191, 68, 72, 12));
    m_editFile->setReadOnly(true);

    auto button = [&](int id, const char* text, QRect r) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setGeometry(r);
        RegisterControl(b, id);
        return b;
    };
    m_btnBrowse = button(IDC_BROWSE, "Browse...", du.Rect(269, 68, 35, 12));
    m_btnFlash = button(IDOK_FLASH, "FLASH NOW", du.Rect(218, 89, 61, 14));
    m_btnFlash->setDefault(true);
    QPushButton* about = button(IDC_ABOUT, "About", du.Rect(232, 110, 34, 12));

    auto* caution = new QLabel(QString::fromLatin1(kCaution), this);
    caution->setObjectName(QStringLiteral("caution"));
    caution->setGeometry(du.Rect(177, 134, 130, 43));
    caution->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    caution->setWordWrap(true);

    m_btnExit = button(IDC_EXIT, "Exit", du.Rect(276, 227, 36, 13));

    connect(m_btnBrowse, &QPushButton::clicked, this, &CFlashDlg::OnBrowse);
    connect(m_btnFlash, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(about, &QPushButton::clicked, this, &CFlashDlg::OnAbout);
    connect(m_btnExit, &QPushButton::clicked, this, [this] { OnExit(); });
}
