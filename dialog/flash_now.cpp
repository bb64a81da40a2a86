// FLASH NOW: lock the dialog, check the settings and the data file, create
// the download object and hand the run to its worker.

#include "dialog/flash_dlg_core.h"
#include "engine/data_file.h"
#include "engine/flash_downloader.h"
#include "engine/result_codes.h"
#include "engine/sector_sizes.h"
#include "platform/last_error.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "workers/run_steps.h"

void CFlashDlgCore::OnOK() {
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
            if (!m_strFileOpenError.empty()) {
                View().ShowBox(m_strFileOpenError, IFlashDlgView::BoxIcon::Critical, {});
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

RunPlan CFlashDlgCore::Plan() const {
    RunPlan plan;
    plan.strFilePath = DataFilePath();
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

void CFlashDlgCore::StartUsbRun() {
    CFlashDownloader& printer = *m_run.pPrinter;
    printer.SetNotifyWindow(this);
    const int prepared = PrepareUsbRun(printer, DataFilePath(), !m_bPinCode && !m_bFriendlyName);
    if (prepared != kResultSuccess) {
        RefuseRun(prepared);
        return;
    }
    if (m_run.m_pSendUSBThread) {
        View().ShowBox("Send Thread exist!!", IFlashDlgView::BoxIcon::Critical, {});
        RefuseRun(0);
        return;
    }
    if (!m_run.StartSendThread(Plan())) RefuseRun(kResultOutOfMemory);
}

void CFlashDlgCore::StartSerialRun() {
    if (!m_run.StartSerialThread(Plan())) RefuseRun(kResultOutOfMemory);
}

void CFlashDlgCore::RefuseRun(int code) {
    if (code != 0) ReportResult(code);
    PostMessage(WM_ENABLE_CONTROLS, 0, 1);
    m_run.DiscardDownloader();
}

bool CFlashDlgCore::CheckFileIdentity() {
    m_strFileOpenError.clear();
    const std::string path = DataFilePath();
    const DownloadKind kind = m_bMainFirmware  ? DownloadKind::MainFirmware
                              : m_bIplFirmware ? DownloadKind::IplFirmware
                                               : DownloadKind::Font;
    const int result = ::CheckFileIdentity(path, kind);
    // A file that cannot be read (missing, not a regular file, no access)
    // is shown with the system's own words.
    if (result == kResultFileOpenFailed) m_strFileOpenError = path + "\n" + rtq::LastErrorDetails().text;
    return result == kResultSuccess;
}

int CFlashDlgCore::CheckDataLength() const {
    return CheckDataFileLength(DataFilePath(), m_nFirstSector, m_bIplFirmware,
                               m_pSectorMap ? m_pSectorMap : g_aSectorSizes);
}
