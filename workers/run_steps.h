#pragma once
// The steps of a run that every front end takes the same way: the serial
// run from its port to its result, and the USB run's preparation before
// its send thread starts.

#include <string>

#include "engine/flash_downloader.h"
#include "workers/serial_download_proc.h"

// Opens and configures the port, checks the data file (file runs) and
// downloads. *setUpFailed tells whether it failed before the download.
int RunSerialSteps(CFlashDownloader& downloader, const SerialDownloadParams& p, bool* setUpFailed);

// Opens the USB printer, lets it settle and checks the data file (file
// runs). A device left open on failure is the caller's to close.
int PrepareUsbRun(CFlashDownloader& downloader, const std::string& filePath, bool fileRun);
