// The file download shared by the serial and the USB procedure: one
// sequence, with the USB link's longer waits and its reopening where it
// needs them.

#include <cstdio>

#include "engine/binary_file.h"
#include "engine/data_file.h"
#include "engine/download_waits.h"
#include "engine/flash_downloader.h"
#include "engine/result_codes.h"
#include "engine/sector_sizes.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/messages.h"
#include "protocol/frames.h"

namespace {

constexpr uint32_t kSwitchReadTimeoutMs = 1500;
constexpr uint32_t kLineWriteTimeoutMs = 1000;
constexpr uint32_t kRestartReadTimeoutMs = 1000;
constexpr int kSerialSwitchWaitSeconds = 5;
constexpr int64_t kUsbSwitchWaitMs = 15000;
constexpr int64_t kPauseBeforeDataMs = 1000;
constexpr int kIplRestartSeconds = 11;
constexpr int64_t kUsbPauseBeforeReopenMs = 5000;
constexpr int32_t kSerialChecksumStep = 6400;

std::string SectorText(const char* format, int displayIndex, int count) {
    char text[80];
    std::snprintf(text, sizeof text, format, displayIndex, count);
    return text;
}

// False, with the change as the failure's cause, when the data file is no
// longer what it was when the run started.
bool FileAsChecked(const BinaryFile& file) {
    int64_t now = -1;
    const FileChange change = file.Change(&now);
    if (change == FileChange::None) return true;
    const std::string sizes = " (" + std::to_string(file.OpenedLength()) +
                              " bytes at the start, " + std::to_string(now) + " now)";
    std::string what;
    switch (change) {
        case FileChange::Grew: what = "grew during the download" + sizes; break;
        case FileChange::Truncated: what = "was truncated during the download" + sizes; break;
        case FileChange::Modified: what = "was modified during the download"; break;
        case FileChange::Replaced: what = "was replaced during the download"; break;
        case FileChange::Removed: what = "was removed during the download"; break;
        case FileChange::None: break;
    }
    rtq::SetLastError({"the file " + what +
                           "; nothing of the changed file was sent. Flash it again once "
                           "the file no longer changes",
                       0, file.Path()});
    return false;
}

}  // namespace

int CFlashDownloader::DownloadFile(const FileRun& run) {
    // Opened once and held to the end: every sector comes from the file
    // whose length was checked, and a change to it shows.
    BinaryFile file;
    if (OpenDataFile(run.strPath, file) != kResultSuccess) return kResultFileOpenFailed;
    if (run.bUsb && m_pLink) m_pLink->SetNotifyWindow(m_pNotifyWnd.load());
    const int64_t fileLength = file.OpenedLength();
    // Refused before the progress opens and before the printer hears
    // anything: the sectors are positioned from the end of the file, which
    // is right only for data that fills its plan exactly.
    if (!run.pSectorSizes ||
        CheckDataLength(fileLength, run.nFirstSector, run.bIpl, run.pSectorSizes,
                        &m_vecSectors) != kResultSuccess)
        return kResultBadDataFile;
    int64_t dataLength = DataLength(fileLength, run.bIpl);
    if (run.bIpl && !file.Seek(kIplSector5Offset)) return kResultFileOpenFailed;
    const int count = static_cast<int>(m_vecSectors.size());

    SendToWindow(WM_OPEN_PROGRESS, run.bUsb ? 0 : 1, 0);
    const int entered = EnterDownloadMode(run);
    if (entered != kResultSuccess) return entered;

    std::vector<int32_t> order;
    if (run.bIpl) {
        order = {m_vecSectors[1], m_vecSectors[0]};
    } else {
        if (!m_pLink->EraseSector(kCmdEraseSector, sizeof kCmdEraseSector, m_vecSectors[0]))
            return kResultEraseFailed;
        order.assign(m_vecSectors.rbegin(), m_vecSectors.rend());
    }

    int64_t taken = 0;
    for (int i = 0; i < count && dataLength > 0; ++i) {
        const int written = WriteSector(run, file, fileLength, order[static_cast<size_t>(i)],
                                        i + 1, &dataLength, &taken);
        if (written != kResultSuccess) return written;
    }
    return EndFileDownload(run);
}

int CFlashDownloader::EnterDownloadMode(const FileRun& run) {
    SetProgress("Switching printer to download...", 10000, 0, 1000);
    if (!m_pLink) return kResultSwitchFailed;
    m_pLink->SetReadTimeout(kSwitchReadTimeoutMs);
    if (!SendRaw(kCmdSwitchToDownload, sizeof kCmdSwitchToDownload))
        return kResultSwitchFailed;
    if (run.bUsb)
        rtq::SleepMs(kUsbSwitchWaitMs);
    else
        m_pLink->WaitSeconds(kSerialSwitchWaitSeconds);
    SetProgress("", -1, 10000, -1);

    if (!run.bUsb && run.nLinkKind == kLinkSerial) {
        INotifyWindow* wnd = m_pNotifyWnd.load();
        const bool bluetooth = wnd && wnd->IsBluetoothChecked();
        if (!bluetooth) {
            if (!run.pSerial) return kResultPortOpenFailed;
            const int reopened = ReopenSerialPort(run.pSerial->strPort, kDownloadBaud,
                                                  run.pSerial->strParity,
                                                  run.pSerial->nStopBits);
            if (reopened != kResultSuccess) return reopened;
        }
    }

    SetProgress("Checking communication line status...", -1, 0, 167);
    if (!run.bUsb) m_pLink->SetWriteTimeout(kLineWriteTimeoutMs);
    const int line = CheckLineRepeatedly(run.bUsb);
    if (line != kResultSuccess) return line;
    if (!run.bUsb) SendToWindow(WM_DISABLE_CANCEL, 0, 0);
    SetProgress("", -1, 10000, -1);

    const int identity = m_pLink->CheckIdentity(kCmdIdentity, sizeof kCmdIdentity);
    if (identity == 0) return kResultSwitchFailed;
    if (identity != 1) return kResultWrongPrinter;
    m_pLink->SetReadTimeout(kLongReadTimeoutMs);
    return kResultSuccess;
}

int CFlashDownloader::WriteSector(const FileRun& run, BinaryFile& file,
                                  int64_t fileLength, int32_t sector,
                                  int displayIndex, int64_t* dataLength,
                                  int64_t* taken) {
    const int count = static_cast<int>(m_vecSectors.size());
    const int32_t size = run.pSectorSizes[sector];
    const int32_t blockSize = BlockSizeForSector(size);
    const bool iplSector5 = run.bIpl && sector == kIplSecondSector;

    if (run.bIpl) {
        // Sector 5 reads on from 0x10000, where the file was positioned.
        if (sector == kIplFirstSector && !file.Seek(kIplSkippedBytes))
            return kResultFileOpenFailed;
    } else {
        *taken += size;
        if (!file.Seek(fileLength - *taken)) return kResultFileOpenFailed;
    }

    const int filled = FillBlocks(file, size, dataLength);
    if (filled == kResultNoBlockMemory) return filled;
    // Checked after the read, so that the bytes about to be sent are
    // known to be those of the file as it was checked.
    if (!FileAsChecked(file)) return kResultFileOpenFailed;
    if (filled != kResultSuccess) return filled;

    if (!iplSector5) {
        SetProgress(SectorText("Erasing flash sector %d of %d...", displayIndex, count),
                    65536, 0, 16000);
        if (!m_pLink->EraseSector(kCmdEraseSector, sizeof kCmdEraseSector, sector))
            return kResultEraseFailed;
        SetProgress("", -1, 65536, -1);
    }

    SetProgress(SectorText("Selecting flash sector %d of %d...", displayIndex, count),
                -1, 0, 21600);
    if (!m_pLink->SelectSector(kCmdSelectSector, sizeof kCmdSelectSector, sector))
        return kResultSelectFailed;
    SetProgress("", -1, 65536, -1);

    rtq::SleepMs(kPauseBeforeDataMs);

    SetProgress(SectorText("Downloading data to flash sector %d of %d...", displayIndex,
                           count),
                size, 0, 5600);
    if (!m_pLink->SendSectorData(kCmdDownloadData, sizeof kCmdDownloadData, 0, size,
                                 blockSize, m_pBlock, m_pNotifyWnd.load()))
        return kResultDataTimeout;
    SetProgress("", -1, size, -1);

    if (iplSector5) return RestartAfterIplSector(run);
    const int32_t step = run.nLinkKind == kLinkSerial ? kSerialChecksumStep : size / 20;
    return VerifyChecksum(step);
}

int CFlashDownloader::RestartAfterIplSector(const FileRun& run) {
    SetProgress("Reseting printer, please wait...", -1, 0, 1850);
    m_pLink->WaitSeconds(kIplRestartSeconds);
    SetProgress("", -1, 32768, -1);
    m_pLink->SetReadTimeout(kRestartReadTimeoutMs);
    SetProgress("Checking communication line status...", -1, 0, 167);
    if (run.bUsb) {
        rtq::SleepMs(kUsbPauseBeforeReopenMs);
        // A printer node opens only once at a time, so the handle from
        // before the restart goes first; kept, it would also be leaked.
        ClosePort();
        const int reopened = ReopenUsb();
        if (reopened != kResultSuccess) return reopened;
    }
    const int line = CheckLineRepeatedly(false);
    if (line != kResultSuccess) return line;
    SetProgress("", -1, 10000, -1);
    m_pLink->SetReadTimeout(kLongReadTimeoutMs);
    FreeBlocks();
    return kResultSuccess;
}
