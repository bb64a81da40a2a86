#pragma once
// One download run: a data file or a Bluetooth setting written to the
// printer through the link, reported as one result code. Never shows a
// message itself, except when its link cannot be allocated.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/progress_info.h"
#include "platform/notify_window.h"
#include "protocol/printer_link.h"

// The serial choices of a run, used to reopen the port at 38400 baud.
struct SerialPortSettings {
    std::string strPort;    // device path
    int32_t nBaud = 0;
    std::string strParity;  // "NONE", "EVEN" or "ODD"
    int32_t nStopBits = 1;
};

constexpr int32_t kLinkSerial = 0;
constexpr int32_t kLinkUsb = 2;

class CFlashDownloader {
public:
    CFlashDownloader();

    // Virtual operations in their order.
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
    void SetProgress(const std::string& text, int32_t range, int32_t pos,
                     int32_t step);
    int CheckDataFile(const std::string& path);  // 1 or 1007
    int ReopenSerialPort(const std::string& strPort, int32_t nBaud,
                         const std::string& strParity, int32_t nStopBits);
    void ClosePort();
    int SendRaw(const uint8_t* bytes, int length);
    int DownloadSetting(int32_t bPin);  // 1, 1003 or 1011
    void SendPinCode();
    void SendFriendlyName();

    // USB opening steps; 1 on success.
    int FindUsbDevicePath(std::string* path);
    int OpenUsb();
    int QueryUsbDeviceId();
    int QueryUsbPortStatus();

    CPrinterLink* Link() const { return m_pLink; }
    const std::vector<int32_t>& SectorPlan() const { return m_vecSectors; }

    CFlashDownloader(const CFlashDownloader&) = delete;
    CFlashDownloader& operator=(const CFlashDownloader&) = delete;

protected:
    INotifyWindow* m_pNotifyWnd;
    ProgressInfo m_progress;
    CPrinterLink* m_pLink;
    uint8_t* m_pBlock[4];
    std::vector<int32_t> m_vecSectors;
};
