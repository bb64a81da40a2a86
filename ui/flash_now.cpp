// FLASH NOW: lock the dialog, check the settings and the data file, create
// the download object and hand the run to its worker.


#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>

#include "engine/data_file.h"
#include "engine/flash_downloader.h"
#include "engine/result_codes.h"
#include "engine/run_settings.h"
#include "engine/sector_sizes.h"
#include "engine/settings_check.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "ui/control_ids.h"
#include "ui/device_text.h"
#include "ui/flash_dlg.h"
#include "ui/message_boxes.h"
#include "ui/port_combo_box.h"

namespace {

constexpr int kResultOutOfMemory = 1025;
// Longest list text the checks read.
constexpr int kMaxListText = 9;

bool Checked(const CFlashDlg& dlg, int id) {
    const auto* button = qobject_cast<const QAbstractButton*>(dlg.Control(id));
    return button && button->isChecked();
}

std::string ListText(const QComboBox* cb) { return ToDeviceText(cb->currentText().left(kMaxListText)); }

std::string FilePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

void CFlashDlg::OnOK() {
    // Enter on a locked dialog, or a second press, starts nothing.
    if (m_bBusy) return;
    // A serial run that failed in its set-up left its objects behind.
    m_run.ReapEndedRun();

    LockControls();
    const int settings = CheckSettings();
    if (settings != kResultSuccess) {
        RefuseRun(settings);
        return;
    }
    if (!m_bPinCode && !m_bFriendlyName) {
        if (!CheckFileIdentity()) {
            if (!m_strFileOpenError.isEmpty()) {
                ShowMessageBox(this, m_strFileOpenError, QMessageBox::Critical);
                RefuseRun(0);
            } else {
                RefuseRun(kResultWrongFile);
            }
            return;
        }
        // A file that does not fill its sectors exactly is refused before
        // anything reaches the printer.
        const int length = CheckDataLength();
        if (length != kResultSuccess) {
            RefuseRun(length);
            return;
        }
    }

    if (!m_run.CreateDownloader()) {
        RefuseRun(kResultOutOfMemory);
        return;
    }
    // A new run: a Cancel of an earlier one must not count against it.
    g_bCancelled.store(0);
    if (g_bUsbLink.load())
        StartUsbRun();
    else
        StartSerialRun();
}

RunPlan CFlashDlg::Plan() const {
    RunPlan plan;
    plan.strFilePath = FilePath(m_strFilePath);
    plan.strPort = ToDeviceText(m_strPort);
    plan.strParity = ToDeviceText(m_strParity);
    plan.nStopBits = m_nStopBits;
    plan.nBaud = m_nBaud;
    plan.nFirstSector = m_nFirstSector;
    plan.bMainFirmware = m_bMainFirmware;
    plan.bIplFirmware = m_bIplFirmware;
    plan.bPinCode = m_bPinCode;
    plan.bFriendlyName = m_bFriendlyName;
    plan.pSectorMap = m_pSectorMap;
    return plan;
}

void CFlashDlg::StartUsbRun() {
    CFlashDownloader& printer = *m_run.pPrinter;
    printer.SetNotifyWindow(this);
    const int opened = printer.ReopenUsb();
    if (opened != kResultSuccess) {
        RefuseRun(opened);
        return;
    }
    rtq::SleepMs(CFlashDownloader::kUsbSettleMs);

    if (!m_bPinCode && !m_bFriendlyName) {
        const int result = printer.CheckDataFile(FilePath(m_strFilePath));
        if (result != kResultSuccess) {
            RefuseRun(result);
            return;
        }
    }
    if (m_run.m_pSendUSBThread) {
        ShowMessageBox(this, QStringLiteral("Send Thread exist!!"), QMessageBox::Critical);
        RefuseRun(0);
        return;
    }
    if (!m_run.StartSendThread(Plan())) RefuseRun(kResultOutOfMemory);
}

void CFlashDlg::StartSerialRun() {
    if (!m_run.StartSerialThread(Plan())) RefuseRun(kResultOutOfMemory);
}

void CFlashDlg::RefuseRun(int code) {
    if (code != 0) ReportResult(code);
    PostMessage(WM_ENABLE_CONTROLS, 0, 1);
    m_run.DiscardDownloader();
}

int CFlashDlg::CheckSettings() {
    m_bMainFirmware = m_bIplFirmware = m_bFont = m_bPinCode = m_bFriendlyName = false;
    g_bPinCodeRun.store(0);
    g_bFriendlyNameRun.store(0);

    // The first selected link button counts; none selected counts as serial.
    const bool usb = !Checked(*this, IDC_SERIAL) && !Checked(*this, IDC_BLUETOOTH) &&
                     Checked(*this, IDC_USB);
    const bool bluetooth = !Checked(*this, IDC_SERIAL) && Checked(*this, IDC_BLUETOOTH);
    m_bSerial = !usb && !bluetooth;
    m_bBluetooth = bluetooth;
    if (!usb) {
        const QString port = m_cbPort->currentText().left(kMaxListText);
        if (port.isEmpty()) return kResultBadPort;
        m_strPort = QStringLiteral("\\\\.\\%1").arg(port);
    }

    // Both texts are checked whatever the type.
    g_strPinCode = ToDeviceText(m_editPinCode->text());
    g_strFriendlyName = ToDeviceText(m_editFriendlyName->text());
    if (CheckFriendlyNameChars(g_strFriendlyName) != kResultSuccess) return kResultBadFriendlyName;
    if (CheckPinCodeChars(g_strPinCode) != kResultSuccess) return kResultBadPinCode;

    DownloadKind kind = DownloadKind::None;
    int firstSector = 0;
    if (!FindDownloadType(m_cbType->currentText(), &kind, &firstSector))
        return kResultBadDownloadType;
    m_nFirstSector = firstSector;
    switch (kind) {
        case DownloadKind::MainFirmware: m_bMainFirmware = true; break;
        case DownloadKind::IplFirmware: m_bIplFirmware = true; break;
        case DownloadKind::Font: m_bFont = true; break;
        case DownloadKind::PinCode:
            m_bPinCode = true;
            g_bPinCodeRun.store(1);
            break;
        case DownloadKind::FriendlyName:
            m_bFriendlyName = true;
            g_bFriendlyNameRun.store(1);
            break;
        case DownloadKind::None: return kResultBadDownloadType;
    }

    if (IsFileKind(kind) &&
        CheckFileExtension(ToDeviceText(m_editFile->text()), kind) != kResultSuccess)
        return kResultBadDataFile;

    if (!usb) {
        std::string parity;
        int32_t baud = 0;
        int32_t stopBits = 0;
        if (CheckParity(ListText(m_cbParity), &parity) != kResultSuccess) return kResultBadParity;
        if (CheckBaudRate(ListText(m_cbBaud), &baud) != kResultSuccess) return kResultBadBaud;
        if (CheckStopBits(ListText(m_cbStopBits), &stopBits) != kResultSuccess)
            return kResultBadStopBits;
        m_strParity = QString::fromStdString(parity);
        m_nBaud = baud;
        m_nStopBits = stopBits;
    }
    return kResultSuccess;
}

bool CFlashDlg::CheckFileIdentity() {
    m_strFileOpenError.clear();
    const std::string path = FilePath(m_strFilePath);
    const DownloadKind kind = m_bMainFirmware  ? DownloadKind::MainFirmware
                              : m_bIplFirmware ? DownloadKind::IplFirmware
                                               : DownloadKind::Font;
    const int result = ::CheckFileIdentity(path, kind);
    // A file that cannot be read (missing, not a regular file, no access)
    // is shown with the system's own words.
    if (result == kResultFileOpenFailed) {
        m_strFileOpenError = QStringLiteral("%1\n%2").arg(
            QDir::toNativeSeparators(m_strFilePath),
            QString::fromLocal8Bit(rtq::LastErrorDetails().text.c_str()));
    }
    return result == kResultSuccess;
}

int CFlashDlg::CheckDataLength() const {
    return CheckDataFileLength(FilePath(m_strFilePath), m_nFirstSector, m_bIplFirmware,
                               m_pSectorMap ? m_pSectorMap : g_aSectorSizes);
}

void CFlashDlg::LockControls() {
    m_bBusy = true;
    for (int id : {IDC_TYPE, IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_STOPBITS, IDC_FILE, IDC_BROWSE,
                   IDOK_FLASH, IDC_EXIT, IDC_PINCODE, IDC_SERIAL, IDC_BLUETOOTH, IDC_USB})
        EnableControl(id, false);
    // The friendly-name box keeps its state.
}
