#include "workers/serial_download_proc.h"

#include <memory>

#include "engine/result_codes.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "workers/run_steps.h"

namespace {

// A failed set-up is reported by the worker itself and produces no
// WM_DOWNLOAD_DONE, so nothing else would close a port it left open.
void FailSetUp(INotifyWindow* owner, CFlashDownloader* downloader,
               int result) {
    if (downloader && downloader->Link()) {
        const HANDLE h = downloader->Link()->GetHandle();
        if (h != INVALID_HANDLE_VALUE && h != 0) downloader->ClosePort();
    }
    if (owner) {
        owner->ReportResult(result);
        owner->SendMessage(WM_ENABLE_CONTROLS, 0, 1);
    }
}

}  // namespace

UINT SerialDownloadProc(void* pParam) {
    std::unique_ptr<SerialDownloadParams> block(
        static_cast<SerialDownloadParams*>(pParam));
    if (!block) return 0;
    const SerialDownloadParams p = *block;
    block.reset();

    INotifyWindow* owner = p.pOwner;
    CFlashDownloader* downloader = p.pPrinter;
    if (!downloader) {
        FailSetUp(owner, nullptr, kResultOutOfMemory);
        return 0;
    }

    bool setUpFailed = false;
    const int result = RunSerialSteps(*downloader, p, &setUpFailed);
    if (setUpFailed) {
        FailSetUp(owner, downloader, result);
        return 0;
    }

    // The result is reported on the owner's thread.
    downloader->KeepResultCause();
    // g_bCancelled stays as it is: the owner reports a cancelled run by it.
    downloader->Finish();

    rtq::SleepMs(kSerialResultPauseMs);
    if (owner) {
        owner->PostMessage(WM_DOWNLOAD_DONE, 0, result);
        owner->PostMessage(WM_ENABLE_CONTROLS, 0, 1);
    }
    return 0;
}
