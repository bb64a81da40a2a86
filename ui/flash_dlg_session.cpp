// The end of the session (logout, SIGTERM) while the dialog runs: never in
// the middle of writing the printer's flash.

#include <QTimer>

#include "dialog/control_ids.h"
#include "ui/flash_dlg.h"
#include "ui/message_boxes.h"

void CFlashDlg::OnEndSession() {
    m_bEndSession = true;
    SuppressMessageBoxes(true);
    // Boxes waiting for the operator give way; the code after them goes on.
    CloseModalBoxes(this);
    if (m_bBusy) {
        // Cancel as the operator would, and only where the run offers it
        // (before its point of no return). A run whose window is still to
        // open is cancelled when it opens, if it offers Cancel then.
        m_run.PressCancel();
        return;
    }
    EndSessionIfIdle();
}

void CFlashDlg::EndSessionIfIdle() {
    if (!m_bEndSession || m_bBusy) return;
    // After the handler that ended the run has returned.
    QTimer::singleShot(0, this, [this] {
        if (m_bBusy) return;
        CloseModalBoxes(this);
        done(kDialogEndCode);
    });
}
