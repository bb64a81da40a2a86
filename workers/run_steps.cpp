#include "workers/run_steps.h"

#include "engine/result_codes.h"
#include "engine/run_settings.h"
#include "engine/sector_sizes.h"
#include "platform/clock.h"

int RunSerialSteps(CFlashDownloader& downloader, const SerialDownloadParams& p, bool* setUpFailed) {
    *setUpFailed = true;
    int result = downloader.OpenSerialPort(p.strPort, p.nBaud, p.strParity, p.nStopBits);
    if (result != kResultSuccess) return result;
    if (!g_bPinCodeRun && !g_bFriendlyNameRun) {
        result = downloader.CheckDataFile(p.strFilePath);
        if (result != kResultSuccess) return result;
    }
    *setUpFailed = false;
    SerialPortSettings settings;
    settings.strPort = p.strPort;
    settings.nBaud = p.nBaud;
    settings.strParity = p.strParity;
    settings.nStopBits = p.nStopBits;
    return downloader.DownloadSerial(p.strFilePath, p.nFirstSector, p.bMainFirmware, p.bIplFirmware,
                                     kLinkSerial, p.pSectorMap ? p.pSectorMap : g_aSectorSizes,
                                     &settings, g_bPinCodeRun, g_bFriendlyNameRun);
}

int PrepareUsbRun(CFlashDownloader& downloader, const std::string& filePath, bool fileRun) {
    int result = downloader.ReopenUsb();
    if (result != kResultSuccess) return result;
    rtq::SleepMs(CFlashDownloader::kUsbSettleMs);
    if (fileRun) result = downloader.CheckDataFile(filePath);
    return result;
}
