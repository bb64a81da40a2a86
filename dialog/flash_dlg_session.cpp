// The end of the session (logout, SIGTERM) while the dialog runs: never in
// the middle of writing the printer's flash.

#include "dialog/control_ids.h"
#include "dialog/flash_dlg_core.h"

void CFlashDlgCore::OnEndSession() {
    m_bEndSession = true;
    View().SuppressBoxes(true);
    // Boxes waiting for the operator give way; the code after them goes on.
    View().CloseBoxes();
    if (m_bBusy) {
        // Cancel as the operator would, and only where the run offers it
        // (before its point of no return). A run whose window is still to
        // open is cancelled when it opens, if it offers Cancel then.
        m_run.PressCancel();
        return;
    }
    EndSessionIfIdle();
}

void CFlashDlgCore::EndSessionIfIdle() {
    if (!m_bEndSession || m_bBusy) return;
    // After the handler that ended the run has returned.
    View().PostToDialogThread([this] {
        if (m_bBusy) return;
        View().CloseBoxes();
        View().EndDialog(kDialogEndCode);
    });
}
