// A whole serial run - the worker procedure with its port opening, data
// file check, DownloadSerial and Finish - against a printer whose every
// answer, its pieces and their timing the fuzzer chooses, over a line
// with fuzzer-chosen faults, on the virtual clock.

#include <string>

#include "engine/flash_downloader.h"
#include "engine/sector_sizes.h"
#include "platform/clock.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/fuzz_serial_backend.h"
#include "tests/fuzz/fuzz_target.h"
#include "tests/fuzz/inline_notify_window.h"
#include "tests/fuzz/link_run.h"
#include "workers/serial_download_proc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace rtq::fuzz;
    FuzzInput in(data, size);
    const RunChoice run = ChooseRun(in);
    InlineNotifyWindow window;
    window.bluetooth = in.Bool();
    const SerialFaults faults = SerialFaults::Choose(in);

    const int threads = ThreadCount();
    rtq::VirtualClock clock;
    rtq::ScopedClock scopedClock(clock);
    ScriptedPrinter printer(in);
    FuzzSerialBackend backend(printer, faults);
    rtq::SetSerialBackend(&backend);
    PrepareGlobals(run, false);
    {
        CFlashDownloader downloader;
        downloader.SetNotifyWindow(&window);
        window.downloader = &downloader;

        auto* params = new SerialDownloadParams;
        params->pOwner = &window;
        params->pPrinter = &downloader;
        params->strPort = "/dev/ttyS0";
        params->strParity = "NONE";
        params->nBaud = 115200;
        params->nStopBits = 1;
        params->strFilePath = run.file ? run.file->path : std::string();
        params->nFirstSector = run.file ? run.file->firstSector : 4;
        params->bMainFirmware = run.file && run.file->main;
        params->bIplFirmware = run.file && run.file->ipl;
        params->pSectorMap = g_aSectorSizes;
        SerialDownloadProc(params);

        FUZZ_CHECK(window.results == 1, "a run reports exactly one result");
        DescribeRun(window.lastResult, printer.Commands());
        FUZZ_CHECK(IsSerialRunResult(window.lastResult), "result code outside the documented set");
        FUZZ_CHECK(downloader.HeldBlocks() == 0, "sector blocks held after the run");
        FUZZ_CHECK(!backend.IsOpen(), "serial port left open after the run");
        if (window.lastResult == 1) {
            const std::string why = UnfoundedSuccess(run, printer.Commands());
            FUZZ_CHECK(why.empty(), why.c_str());
        }
    }
    rtq::SetSerialBackend(nullptr);
    ClearGlobals();
    FUZZ_CHECK(ThreadCount() == threads, "a thread outlived the run");
    return 0;
}
