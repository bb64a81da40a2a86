// Turning a result code into the operator's message.

#include "dialog/flash_dlg_core.h"
#include "engine/failure_hint.h"
#include "engine/result_codes.h"
#include "engine/run_settings.h"
#include "platform/last_error.h"

void CFlashDlgCore::ReportResult(int code) {
    // A worker's report is shown on the dialog's thread and waits for the operator.
    if (!View().OnDialogThread()) {
        // The cause goes along: each thread keeps its own.
        View().CallOnDialogThread([this, code, cause = rtq::LastErrorDetails()] {
            rtq::SetLastError(cause);
            ReportResult(code);
        });
        return;
    }
    bool shown = false;
    // The system text for 1039 is the one captured where the failure happened.
    const std::string text =
        ResultText(code, rtq::LastErrorText(), g_strFriendlyName, g_strPinCode, &shown);
    if (shown)
        View().ShowBox(text,
                       code == kResultSuccess ? IFlashDlgView::BoxIcon::Information
                                              : IFlashDlgView::BoxIcon::Critical,
                       FailureHint(code));
    m_nLastResult = code;
}
