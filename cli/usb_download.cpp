#include "cli/commands.h"
#include "cli/interrupt.h"
#include "cli/progress_window.h"
#include "engine/flash_downloader.h"
#include "engine/result_codes.h"
#include "ports/port_state.h"
#include "ports/usb_backend.h"
#include "workers/run_steps.h"

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

int RunUsbDownload(const RunPlan& plan, bool fileRun, const std::string& port,
                   ProgressView& view) {
    const WantedPrinter wanted(port);
    CliProgressWindow window(view, false);
    // A USB run cannot be cancelled: a signal only says so.
    const InterruptTarget interruptTarget(&window);
    CFlashRun& run = window.Run();
    if (!run.CreateDownloader()) return kResultOutOfMemory;
    CFlashDownloader& downloader = *run.pPrinter;
    downloader.SetNotifyWindow(&window);

    const int r = PrepareUsbRun(downloader, plan.strFilePath, fileRun);
    if (r != kResultSuccess) {
        // A device the opening steps left open is closed with the port.
        downloader.Finish();
        return r;
    }
    if (!run.StartSendThread(plan)) return kResultOutOfMemory;
    const int result = window.RunUntilSendEnded();
    window.EndLine();
    return result;
}

}  // namespace rtq::cli
