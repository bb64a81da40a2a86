// Turning a result code into the operator's message.

#include "engine/failure_hint.h"
#include "engine/result_codes.h"
#include "engine/run_settings.h"
#include "platform/last_error.h"
#include "ui/device_text.h"
#include "ui/flash_dlg.h"
#include "ui/gui_call_queue.h"
#include "ui/message_boxes.h"

void CFlashDlg::ReportResult(int code) {
    // A worker's report is shown on this thread and waits for the operator.
    if (!m_pCalls->OnOwnerThread()) {
        // The cause goes along: each thread keeps its own.
        m_pCalls->Call([this, code, cause = rtq::LastErrorDetails()] {
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
        ShowMessageBox(this, FromDeviceText(text),
                       code == kResultSuccess ? QMessageBox::Information : QMessageBox::Critical,
                       FromDeviceText(FailureHint(code)));
    m_nLastResult = code;
}
