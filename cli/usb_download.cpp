#include <memory>

#include "cli/commands.h"
#include "cli/download_type.h"
#include "cli/interrupt.h"
#include "cli/progress_window.h"
#include "engine/data_file.h"
#include "engine/flash_downloader.h"
#include "engine/result_codes.h"
#include "engine/run_settings.h"
#include "engine/sector_sizes.h"
#include "ports/port_state.h"
#include "ports/usb_backend.h"
#include "workers/run_steps.h"
#include "workers/send_usb_thread.h"

namespace rtq::cli {

namespace {

// The printer the run and its reconnections look for; cleared after the
// run so that a later run in the process takes the first again.
class WantedPrinter {
public:
    explicit WantedPrinter(const std::string& wanted) { rtq::SetWantedUsbPrinter(wanted); }
    ~WantedPrinter() { rtq::SetWantedUsbPrinter({}); }
    WantedPrinter(const WantedPrinter&) = delete;
    WantedPrinter& operator=(const WantedPrinter&) = delete;
};

}  // namespace

int RunUsbDownload(const std::string& file, const DownloadType& type, const std::string& port,
                   ProgressView& view) {
    const WantedPrinter wanted(port);
    const bool fileRun = IsFileKind(type.kind);
    CFlashDownloader downloader;
    CliProgressWindow window(view, false);
    // A USB run cannot be cancelled: a signal only says so.
    const InterruptTarget interruptTarget(&window);
    window.SetDownloader(&downloader);
    downloader.SetNotifyWindow(&window);

    int r = PrepareUsbRun(downloader, file, fileRun);
    if (r != kResultSuccess) {
        // A device the opening steps left open is closed with the port.
        downloader.Finish();
        return r;
    }

    auto thread = std::make_unique<CSend_USBThread>();
    thread->SetParameters(&window, &downloader, file, type.firstSector,
                          type.kind == DownloadKind::MainFirmware,
                          type.kind == DownloadKind::IplFirmware, g_bPinCodeRun.load(),
                          g_bFriendlyNameRun.load(), g_aSectorSizes);
    r = window.RunUntilSendEnded(thread->Number());
    thread.reset();  // waits for the thread's end
    rtq::SetLastError(downloader.ResultCause());  // seen on the send thread
    window.EndLine();
    return r;
}

}  // namespace rtq::cli
