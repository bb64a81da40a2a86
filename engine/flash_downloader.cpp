#include "engine/flash_downloader.h"

#include <cstring>

#include "engine/allocation_hooks.h"
#include "engine/binary_file.h"
#include "engine/download_waits.h"
#include "engine/result_codes.h"
#include "engine/sector_sizes.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/message_box.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "protocol/frames.h"

namespace {

constexpr int kLineCheckAttempts = 30;
constexpr int kUsbReopenAfterAttempt = 3;
constexpr int kReopenAttempts = 40;
constexpr int64_t kReopenPauseMs = 50;
constexpr int64_t kReopenRetryMs = 1000;
constexpr int64_t kUsbPauseBeforeRecalcMs = 1000;

}  // namespace

CFlashDownloader::CFlashDownloader()
    : m_pNotifyWnd(nullptr), m_pLink(nullptr), m_pBlock{nullptr, nullptr, nullptr, nullptr} {
    // Handles are backend tokens and 0 is never issued, so this marks the
    // USB device as not open without closing anything.
    g_hUsbDevice = 0;
    // A run's failure hint must not come from an earlier run's error.
    rtq::SetLastErrorText(std::string());
    m_pLink = rtq::AllocateLink();
    if (!m_pLink) rtq::ShowStopMessage("Error: Insufficient memory");
}

CFlashDownloader::~CFlashDownloader() {
    if (m_pLink) m_pLink->Unreserve();
    delete m_pLink;
    m_pLink = nullptr;
    m_pNotifyWnd = nullptr;
    // Finish has normally freed them; a run abandoned without it must not
    // leak its sector.
    FreeBlocks();
}

void CFlashDownloader::SetNotifyWindow(INotifyWindow* wnd) { m_pNotifyWnd = wnd; }

void CFlashDownloader::KeepResultCause() {
    rtq::LastError cause = rtq::LastErrorDetails();
    std::lock_guard<std::mutex> lk(m_causeMutex);
    m_resultCause = std::move(cause);
}

rtq::LastError CFlashDownloader::ResultCause() const {
    std::lock_guard<std::mutex> lk(m_causeMutex);
    return m_resultCause;
}

void CFlashDownloader::SendToWindow(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (INotifyWindow* wnd = m_pNotifyWnd.load()) wnd->SendMessage(msg, wParam, lParam);
}

void CFlashDownloader::SetProgress(const std::string& text, int32_t range,
                                   int32_t pos, int32_t step) {
    INotifyWindow* wnd = m_pNotifyWnd.load();
    if (!wnd) return;
    if (!text.empty()) m_progress.m_strText = text;
    if (range != -1) m_progress.m_nRange = range;
    if (pos != -1) m_progress.m_nPos = pos;
    if (step != -1) m_progress.m_nStep = step;
    wnd->SendMessage(WM_UPDATE_PROGRESS, 0, reinterpret_cast<LPARAM>(&m_progress));
}

int CFlashDownloader::HeldBlocks() const {
    int held = 0;
    for (const uint8_t* block : m_pBlock)
        if (block) ++held;
    return held;
}

int CFlashDownloader::CheckDataFile(const std::string& path) {
    BinaryFile file;
    return OpenDataFile(path, file);
}

int CFlashDownloader::OpenDataFile(const std::string& path, BinaryFile& file) {
    if (!file.Open(path)) {
        if (m_pLink && m_pLink->GetHandle() != 0) m_pLink->Close();
        return kResultFileOpenFailed;
    }
    return kResultSuccess;
}

int CFlashDownloader::OpenSerialPort(const std::string& strPort, int32_t nBaud,
                                     const std::string& strParity,
                                     int32_t nStopBits) {
    if (!m_pLink) return kResultPortOpenFailed;
    // Held until Finish: nobody else may take the port while it is closed
    // for the reopen at the download speed.
    if (!m_pLink->Reserve(strPort)) return kResultPortOpenFailed;
    if (!m_pLink->Open(strPort) || m_pLink->GetHandle() == INVALID_HANDLE_VALUE)
        return kResultPortOpenFailed;
    if (!m_pLink->Configure(static_cast<uint32_t>(nBaud), strParity, 8, nStopBits))
        return kResultPortConfigFailed;
    return kResultSuccess;
}

int CFlashDownloader::ReopenSerialPort(const std::string& strPort, int32_t nBaud,
                                       const std::string& strParity,
                                       int32_t nStopBits) {
    if (!m_pLink) return kResultPortOpenFailed;
    if (m_pLink->GetHandle() != 0) m_pLink->Close();
    rtq::SleepMs(kReopenPauseMs);
    bool opened = false;
    for (int attempt = 0; attempt < kReopenAttempts && !opened; ++attempt) {
        m_pLink->Open(strPort);
        rtq::SleepMs(kReopenPauseMs);
        opened = m_pLink->GetHandle() != INVALID_HANDLE_VALUE;
        if (!opened) rtq::SleepMs(kReopenRetryMs);
    }
    if (!opened) return kResultPortOpenFailed;
    if (!m_pLink->Configure(static_cast<uint32_t>(nBaud), strParity, 8, nStopBits))
        return kResultPortConfigFailed;
    return kResultSuccess;
}

void CFlashDownloader::ClosePort() {
    if (m_pLink) m_pLink->Close();
}

int CFlashDownloader::SendRaw(const uint8_t* bytes, int length) {
    if (!m_pLink) return 0;
    return m_pLink->SendRaw(bytes, length) == 1 ? 1 : 0;
}

void CFlashDownloader::Finish() {
    FreeBlocks();
    if (m_pLink && m_pLink->GetHandle() != INVALID_HANDLE_VALUE) m_pLink->Close();
    if (m_pLink) m_pLink->Unreserve();
    if (!g_bUsbLink.load()) SendToWindow(WM_CLOSE_PROGRESS, 0, 0);
}

int CFlashDownloader::FillBlocks(BinaryFile& file, int32_t sectorSize,
                                 int64_t* dataLength) {
    const int32_t blockSize = BlockSizeForSector(sectorSize);
    const int32_t blocks = sectorSize / blockSize;
    for (int32_t k = 0; k < blocks && k < 4; ++k) {
        m_pBlock[k] = rtq::AllocateBlock(static_cast<size_t>(blockSize));
        if (!m_pBlock[k]) return kResultNoBlockMemory;
        std::memset(m_pBlock[k], 0xFF, static_cast<size_t>(blockSize));
        if (*dataLength <= 0) continue;
        const size_t wanted = static_cast<size_t>(
            *dataLength >= blockSize ? blockSize : *dataLength);
        const size_t got = file.Read(m_pBlock[k], wanted);
        *dataLength = *dataLength >= blockSize ? *dataLength - blockSize : 0;
        // Sending 0xFF in place of file data would pass the checksum and
        // leave wrong bytes in the flash.
        if (got != wanted) return kResultFileOpenFailed;
    }
    return kResultSuccess;
}

void CFlashDownloader::FreeBlocks() {
    for (uint8_t*& block : m_pBlock) {
        delete[] block;
        block = nullptr;
    }
}

int CFlashDownloader::VerifyChecksum(int32_t step) {
    SetProgress("Calculating checksum", -1, 0, step);
    uint16_t checksum = 0;
    if (!m_pLink->QueryChecksum(kCmdQueryChecksum, sizeof kCmdQueryChecksum, &checksum))
        return kResultChecksumQueryFailed;
    m_pLink->SetReadTimeout(kLongReadTimeoutMs);
    if (checksum != m_pLink->GetDataCrc()) return kResultChecksumMismatch;
    FreeBlocks();
    return kResultSuccess;
}

int CFlashDownloader::CheckLineRepeatedly(bool reopenUsb) {
    for (int attempt = 0; attempt < kLineCheckAttempts; ++attempt) {
        // A cancelled run sends nothing more; the worker reports the cancel.
        if (g_bCancelled.load()) return kResultLineBusy;
        if (m_pLink->CheckLine(kCmdCheckLine, sizeof kCmdCheckLine)) return kResultSuccess;
        if (reopenUsb && attempt == kUsbReopenAfterAttempt) {
            ClosePort();
            const int reopened = ReopenUsb();
            if (reopened != kResultSuccess) return reopened;
        }
    }
    return kResultLineBusy;
}

int CFlashDownloader::EndFileDownload(const FileRun& run) {
    if (run.bMain) {
        if (run.bUsb) rtq::SleepMs(kUsbPauseBeforeRecalcMs);
        SetProgress("Recalculate CRC", -1, 0, 500);
        uint16_t value = 0;
        if (!m_pLink->RecalculateCrc(kCmdRecalculateCrc, sizeof kCmdRecalculateCrc, &value))
            return kResultRecalculateFailed;
    }
    SetProgress("Reseting printer...", -1, 0, 6400);
    if (!SendRaw(kCmdReset, sizeof kCmdReset)) return kResultResetFailed;
    SetProgress("Download completed!", -1, 0x10000, -1);
    m_pLink->WaitSeconds(kFinalWaitSeconds);
    return kResultSuccess;
}
