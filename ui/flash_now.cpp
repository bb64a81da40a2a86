// FLASH NOW. Only the locking of the dialog is in place; the next step
// brings the settings check, the file identity check and the hand-over to
// the workers.

#include "ui/control_ids.h"
#include "ui/flash_dlg.h"

void CFlashDlg::OnOK() {
    // Starting a run comes with the next step.
}

int CFlashDlg::CheckSettings() {
    return 1012;  // no run can be started yet
}

bool CFlashDlg::CheckFileIdentity() { return false; }

void CFlashDlg::LockControls() {
    m_bBusy = true;
    for (int id : {IDC_TYPE, IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_STOPBITS, IDC_FILE, IDC_BROWSE,
                   IDOK_FLASH, IDC_EXIT, IDC_PINCODE, IDC_SERIAL, IDC_BLUETOOTH, IDC_USB})
        EnableControl(id, false);
    // The friendly-name box keeps its state.
}

bool CFlashDlg::ReconnectUsb() { return false; }
