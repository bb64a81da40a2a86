// A whole USB run - the opening steps, the settle pause, the data file
// check, DownloadUsb and Finish, as the send thread runs them - against a
// printer whose every answer, its pieces and their timing the fuzzer
// chooses, with fuzzer-chosen faults of the node, on the virtual clock.
// The receive path is served inline (see InlineNotifyWindow), so the run
// needs no thread and is repeatable.

#include <string>

#include "engine/flash_downloader.h"
#include "engine/result_codes.h"
#include "engine/sector_sizes.h"
#include "platform/clock.h"
#include "ports/port_state.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/fuzz_target.h"
#include "tests/fuzz/fuzz_usb_backend.h"
#include "tests/fuzz/inline_notify_window.h"
#include "tests/fuzz/link_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace rtq::fuzz;
    FuzzInput in(data, size);
    const RunChoice run = ChooseRun(in);
    InlineNotifyWindow window;
    const UsbFaults faults = UsbFaults::Choose(in);

    const int threads = ThreadCount();
    rtq::VirtualClock clock;
    rtq::ScopedClock scopedClock(clock);
    ScriptedPrinter printer(in);
    FuzzUsbBackend backend(printer, faults);
    rtq::SetUsbBackend(&backend);
    PrepareGlobals(run, true);
    g_pMainDlg = &window;
    {
        CFlashDownloader downloader;
        downloader.SetNotifyWindow(&window);
        window.downloader = &downloader;

        const std::string path = run.file ? run.file->path : std::string();
        int result = downloader.ReopenUsb();
        if (result == kResultSuccess) {
            rtq::SleepMs(CFlashDownloader::kUsbSettleMs);
            if (run.file) result = downloader.CheckDataFile(path);
        }
        if (result == kResultSuccess)
            result = downloader.DownloadUsb(path, run.file ? run.file->firstSector : 4,
                                            run.file && run.file->main,
                                            run.file && run.file->ipl, kLinkUsb, g_aSectorSizes,
                                            run.pinCode, run.friendlyName);
        downloader.Finish();

        DescribeRun(result, printer.Commands());
        FUZZ_CHECK(IsUsbRunResult(result), "result code outside the documented set");
        FUZZ_CHECK(downloader.HeldBlocks() == 0, "sector blocks held after the run");
        FUZZ_CHECK(!backend.IsOpen(), "USB device left open after the run");
        if (result == kResultSuccess) {
            const std::string why = UnfoundedSuccess(run, printer.Commands());
            FUZZ_CHECK(why.empty(), why.c_str());
        }
    }
    rtq::SetUsbBackend(nullptr);
    ClearGlobals();
    FUZZ_CHECK(ThreadCount() == threads, "a thread outlived the run");
    return 0;
}
