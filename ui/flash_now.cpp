// FLASH NOW: lock the dialog, check the settings and the data file, create
// the download object and hand the run to its worker.


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
#include "dialog/control_ids.h"
#include "ui/device_text.h"
#include "ui/flash_dlg.h"
#include "ui/message_boxes.h"
#include "ui/port_combo_box.h"

namespace {

constexpr int kResultOutOfMemory = 1025;
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
    plan.strPort = m_strPort;
    plan.strParity = m_strParity;
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
