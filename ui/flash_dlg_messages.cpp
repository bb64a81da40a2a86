// The worker-thread messages and the end of a run. Only the re-enabling of
// the controls is in place; the next step brings the progress dialog, the
// end-of-run handling and the USB thread messages.

#include "platform/messages.h"
#include "ui/control_ids.h"
#include "ui/flash_dlg.h"

LRESULT CFlashDlg::OnWorkerMessage(UINT msg, WPARAM /*wParam*/, LPARAM lParam) {
    if (msg != WM_ENABLE_CONTROLS) return 0;

    for (int id : {IDC_SERIAL, IDC_BLUETOOTH, IDC_USB}) EnableControl(id, true);
    m_bBusy = false;

    const bool e = lParam == 1;
    const bool portLink = m_bSerial || m_bBluetooth;  // neither: USB
    EnableControl(IDC_TYPE, e);
    EnableControl(IDC_PORT, portLink ? e : !e);
    for (int id : {IDC_BAUD, IDC_PARITY, IDC_STOPBITS}) EnableControl(id, m_bSerial ? e : !e);
    EnableControl(IDC_FILE, e);
    EnableControl(IDOK_FLASH, e);
    EnableControl(IDC_EXIT, e);

    EnableControl(IDC_PINCODE, m_bPinCode ? e : !e);
    EnableControl(IDC_BROWSE, m_bPinCode ? !e : e);
    // After the PIN code step: Browse ends up governed by the friendly name.
    EnableControl(IDC_FRIENDLYNAME, m_bFriendlyName ? e : !e);
    EnableControl(IDC_BROWSE, m_bFriendlyName ? !e : e);
    return 1;
}

void CFlashDlg::CloseTransmitDlg(bool /*pause*/) {
    // No progress dialog is opened yet.
}

void CFlashDlg::KillReceiveUSBThread() {
    // No receive thread is started yet.
}

void CFlashDlg::ReleaseRunObjects() {
    // Nothing is started yet, so a run leaves nothing behind.
}
