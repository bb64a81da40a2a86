#include "engine/flash_downloader.h"

int CFlashDownloader::DownloadUsb(std::string strPath, int32_t nFirstSector,
                                  int32_t bMain, int32_t bIpl, int32_t nLinkKind,
                                  const int32_t* pSectorSizes, int32_t bPinCode,
                                  int32_t bFriendlyName) {
    if (bPinCode || bFriendlyName) return DownloadSetting(bPinCode);
    const FileRun run{std::move(strPath), nFirstSector, bMain != 0, bIpl != 0,
                      nLinkKind,          pSectorSizes, nullptr,    true};
    return DownloadFile(run);
}
