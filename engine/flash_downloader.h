#pragma once
// One download run: a data file or a Bluetooth setting written to the
// printer through the link, reported as one result code. Never shows a
// message itself, except when its link cannot be allocated.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/progress_info.h"
#include "platform/last_error.h"
#include "platform/notify_window.h"
#include "protocol/printer_link.h"

class BinaryFile;

// The serial choices of a run, used to reopen the port at 38400 baud.
struct SerialPortSettings {
    std::string strPort;    // device path
    int32_t nBaud = 0;
    std::string strParity;  // "NONE", "EVEN" or "ODD"
    int32_t nStopBits = 1;
};

constexpr int32_t kLinkSerial = 0;
constexpr int32_t kLinkUsb = 2;

// The speed of a serial cable once the printer is in download mode.
constexpr int32_t kDownloadBaud = 38400;

class CFlashDownloader {
public:
    CFlashDownloader();

    // Virtual operations in their order.
    // Frees blocks a run left behind; the port is Finish's to close.
    virtual ~CFlashDownloader();
    virtual int DownloadSerial(std::string strPath, int32_t nFirstSector,
                               int32_t bMain, int32_t bIpl, int32_t nLinkKind,
                               const int32_t* pSectorSizes,
                               const SerialPortSettings* pSerial,
                               int32_t bPinCode, int32_t bFriendlyName);
    virtual int DownloadUsb(std::string strPath, int32_t nFirstSector,
                            int32_t bMain, int32_t bIpl, int32_t nLinkKind,
                            const int32_t* pSectorSizes, int32_t bPinCode,
                            int32_t bFriendlyName);
    virtual int OpenSerialPort(const std::string& strPort, int32_t nBaud,
                               const std::string& strParity,
                               int32_t nStopBits);
    virtual void Finish();

    void SetNotifyWindow(INotifyWindow* wnd);
    // Text replaces the record's text unless empty; -1 leaves a number.
    // Nothing happens without a notify window.
    void SetProgress(const std::string& text, int32_t range, int32_t pos,
                     int32_t step);
    int CheckDataFile(const std::string& path);  // 1 or 1007
    int ReopenSerialPort(const std::string& strPort, int32_t nBaud,
                         const std::string& strParity, int32_t nStopBits);
    void ClosePort();
    // 1 if every byte was written, else 0 (also without a link).
    int SendRaw(const uint8_t* bytes, int length);
    int DownloadSetting(int32_t bPin);  // 1, 1003 or 1011
    // Each returns SendRaw's result for its frame.
    int SendPinCode();
    int SendFriendlyName();

    // USB opening steps; 1 on success.
    int FindUsbDevicePath(std::string* path);
    int OpenUsb();
    int QueryUsbDeviceId();
    int QueryUsbPortStatus();
    // OpenUsb, QueryUsbDeviceId, QueryUsbPortStatus, stopping at the first
    // failure: 1, 1038, 1039 or 1040.
    int ReopenUsb();
    // The pause between opening the USB device for a run and its first use.
    static constexpr int kUsbSettleMs = 1000;

    // The cause behind the run's result, kept by the thread that ran the
    // download for the thread that reports it: each thread has its own
    // last error.
    void KeepResultCause();
    rtq::LastError ResultCause() const;

    CPrinterLink* Link() const { return m_pLink; }
    const std::vector<int32_t>& SectorPlan() const { return m_vecSectors; }
    // Blocks of the sector in flight (0 between sectors).
    int HeldBlocks() const;

    CFlashDownloader(const CFlashDownloader&) = delete;
    CFlashDownloader& operator=(const CFlashDownloader&) = delete;

protected:
    std::atomic<INotifyWindow*> m_pNotifyWnd;
    ProgressInfo m_progress;
    CPrinterLink* m_pLink;
    uint8_t* m_pBlock[4];
    std::vector<int32_t> m_vecSectors;

private:
    mutable std::mutex m_causeMutex;
    rtq::LastError m_resultCause;

    // The arguments of one file download and the link it runs over.
    struct FileRun {
        std::string strPath;
        int32_t nFirstSector;
        bool bMain;
        bool bIpl;
        int32_t nLinkKind;
        const int32_t* pSectorSizes;
        const SerialPortSettings* pSerial;
        bool bUsb;
    };

    // Opens the data file, closing the port when it cannot: 1 or 1007.
    int OpenDataFile(const std::string& path, BinaryFile& file);
    // The file download shared by the serial and the USB procedure.
    int DownloadFile(const FileRun& run);
    // The first-contact part: switch, line speed, line check, identity.
    int EnterDownloadMode(const FileRun& run);
    // Sector s of the run: position, blocks, erase, select, data and
    // verification (or the restart after IPL sector 5). Sectors are
    // placed by the file length that was checked at the start.
    int WriteSector(const FileRun& run, BinaryFile& file, int64_t fileLength,
                    int32_t sector, int displayIndex, int64_t* dataLength,
                    int64_t* taken);
    int RestartAfterIplSector(const FileRun& run);
    int EndFileDownload(const FileRun& run);

    // Allocates and fills the blocks of a sector from the file: 1, 1007
    // (the file ended inside the data) or 1008.
    int FillBlocks(BinaryFile& file, int32_t sectorSize, int64_t* dataLength);
    void FreeBlocks();
    // Checksum verification of the sector just sent: 1, 1004 or 1005.
    int VerifyChecksum(int32_t step);
    // Up to 30 line checks; over USB the link is reopened after attempt 3
    // when reopen is set. 1, 1009, or a reopen's 1038 to 1040.
    int CheckLineRepeatedly(bool reopenUsb);
    void SendToWindow(UINT msg, WPARAM wParam, LPARAM lParam);
};
