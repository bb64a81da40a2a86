#include "cli/commands.h"

#include "cli/bluetooth_port.h"
#include "cli/download_type.h"
#include "cli/file_checks.h"
#include "cli/interrupt.h"
#include "cli/port_name.h"
#include "cli/progress_window.h"
#include "engine/data_file.h"
#include "engine/flash_downloader.h"
#include "engine/result_codes.h"
#include "engine/run_settings.h"
#include "engine/sector_sizes.h"
#include "engine/settings_check.h"
#include "platform/last_error.h"
#include "ports/port_state.h"
#include "workers/run_steps.h"

namespace rtq::cli {

namespace {

struct LineSettings {
    std::string parity;
    int32_t baud = 0;
    int32_t stopBits = 0;
};

int CheckLineSettings(const CliOptions& o, LineSettings* line) {
    // The dialog's defaults once a link is picked.
    const std::string parity = o.parityGiven ? o.parity : "NONE";
    const std::string baud = o.baudGiven ? o.baud : (o.bluetooth ? "38400" : "9600");
    const std::string stopBits = o.stopBitsGiven ? o.stopBits : "1";
    int r = CheckParity(parity, &line->parity);
    if (r == kResultSuccess) r = CheckBaudRate(baud, &line->baud);
    if (r == kResultSuccess) r = CheckStopBits(stopBits, &line->stopBits);
    return r;
}

// The settings in the order FLASH NOW checks them.
int CheckSettings(const CliOptions& o, std::ostream& err, std::string* devicePath,
                  DownloadType* type, LineSettings* line) {
    int r = o.usb ? kResultSuccess : ResolvePort(o.port, devicePath);
    if (r != kResultSuccess) return r;
    g_strPinCode = o.pin;
    g_strFriendlyName = o.name;
    if ((r = CheckFriendlyNameChars(o.name)) != kResultSuccess) return r;
    if ((r = CheckPinCodeChars(o.pin)) != kResultSuccess) return r;
    if ((r = ResolveDownloadType(o.type, o.bluetooth, type)) != kResultSuccess) {
        if (o.bluetooth && ResolveDownloadType(o.type, false, type) == kResultSuccess)
            err << "IPL FIRMWARE cannot be written over Bluetooth\n";
        return r;
    }
    g_bPinCodeRun = type->kind == DownloadKind::PinCode;
    g_bFriendlyNameRun = type->kind == DownloadKind::FriendlyName;
    if (IsFileKind(type->kind)) {
        if (!o.fileGiven) {
            rtq::SetLastErrorText("No FILE given for " + type->displayName + ".");
            return kResultBadDataFile;
        }
        if ((r = CheckFileName(o.file, *type)) != kResultSuccess) return r;
    } else if (o.fileGiven) {
        err << "FILE is not used for " << type->displayName << "; ignored\n";
    }
    return o.usb ? kResultSuccess : CheckLineSettings(o, line);
}

}  // namespace

int RunFlash(const CliOptions& o, ProgressView& view, std::ostream& err) {
    g_bUsbLink = o.usb ? 1 : 0;
    g_bCancelled = 0;
    std::string devicePath;
    DownloadType type;
    LineSettings line;
    int r = CheckSettings(o, err, &devicePath, &type, &line);
    if (r != kResultSuccess) return r;
    const bool fileRun = IsFileKind(type.kind);
    if (fileRun) {
        std::vector<int32_t> plan;
        if ((r = CheckFileContents(o.file, type, &plan)) != kResultSuccess) return r;
    }
    RunPlan plan;
    plan.strFilePath = o.file;
    plan.nFirstSector = type.firstSector;
    plan.bMainFirmware = type.kind == DownloadKind::MainFirmware;
    plan.bIplFirmware = type.kind == DownloadKind::IplFirmware;
    plan.bPinCode = type.kind == DownloadKind::PinCode;
    plan.bFriendlyName = type.kind == DownloadKind::FriendlyName;
    plan.pSectorMap = g_aSectorSizes;
    if (o.usb) return RunUsbDownload(plan, fileRun, o.portGiven ? o.port : std::string(), view);

    if (o.bluetooth && (r = ResolveBluetoothPrinter(&devicePath)) != kResultSuccess) return r;
    plan.strPort = devicePath;
    plan.strParity = line.parity;
    plan.nStopBits = line.stopBits;
    plan.nBaud = line.baud;
    CliProgressWindow window(view, o.bluetooth);
    const InterruptTarget interruptTarget(&window);
    CFlashRun& run = window.Run();
    if (!run.CreateDownloader()) return kResultOutOfMemory;
    CFlashDownloader& downloader = *run.pPrinter;
    downloader.SetNotifyWindow(&window);
    // The serial procedure's steps, on this thread: a signal then always
    // finds the run between two of its steps.
    bool setUpFailed = false;
    r = RunSerialSteps(downloader, SerialParams(plan), &setUpFailed);
    const bool cancelled = !setUpFailed && g_bCancelled.exchange(0) != 0;
    // Also after a failed set-up: a port opened but not configured is
    // closed here.
    downloader.Finish();
    window.EndLine();
    return cancelled ? kResultCancelled : r;
}

}  // namespace rtq::cli
