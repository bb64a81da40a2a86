#pragma once
// The worker of a serial or Bluetooth run: opens and configures the port
// through the downloader, checks the data file, runs DownloadSerial and
// posts the result to the owner.

#include <cstdint>
#include <string>

#include "engine/flash_downloader.h"
#include "platform/notify_window.h"
#include "platform/types.h"

// Allocated with new by FLASH NOW; SerialDownloadProc frees it first thing.
struct SerialDownloadParams {
    INotifyWindow* pOwner = nullptr;
    CFlashDownloader* pPrinter = nullptr;
    std::string strPort;      // device path, "\\.\COMn"
    std::string strParity;    // "NONE", "EVEN" or "ODD"
    std::string strFilePath;  // data file
    int32_t nStopBits = 1;
    int32_t nBaud = 0;
    int32_t nFirstSector = 0;
    int32_t bMainFirmware = 0;
    int32_t bIplFirmware = 0;
    // The sector-size table of the run (nullptr: g_aSectorSizes).
    const int32_t* pSectorMap = nullptr;
};

// Pause between the end of a download and its result messages.
constexpr int kSerialResultPauseMs = 500;

// The thread procedure; pParam is a SerialDownloadParams*. Returns 0.
UINT SerialDownloadProc(void* pParam);
