// Picking the link and the download type; the controls while a run is
// prepared and after it.

#include <string>
#include <vector>

#include "dialog/control_ids.h"
#include "dialog/flash_dlg_core.h"
#include "dialog/no_case.h"
#include "ports/port_state.h"

namespace {

constexpr int kPortCount = 64;

std::vector<std::string> PortNames() {
    std::vector<std::string> names;
    for (int n = 1; n <= kPortCount; ++n) names.push_back("COM" + std::to_string(n));
    return names;
}

}  // namespace

void CFlashDlgCore::OnSerialPort() {
    g_bUsbLink.store(0);
    View().FillList(IDC_PORT, PortNames());
    LoadDownloadTypes();
    EnableAll({IDC_TYPE, IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_STOPBITS, IDC_FILE, IDC_BROWSE,
               IDOK_FLASH},
              true);
}

void CFlashDlgCore::OnBluetooth() {
    g_bUsbLink.store(0);
    View().FillList(IDC_PORT, PortNames());
    LoadDownloadTypes();
    View().SelectIndex(IDC_BAUD, 0);
    // The initial program loader is never written over Bluetooth.
    const bool removingCurrent = View().SelectedIndex(IDC_TYPE) == 1;
    View().RemoveItem(IDC_TYPE, 1);
    if (removingCurrent) View().SelectIndex(IDC_TYPE, -1);
    EnableAll({IDC_TYPE, IDC_PORT, IDC_FILE, IDC_BROWSE, IDOK_FLASH}, true);
    EnableAll({IDC_BAUD, IDC_PARITY, IDC_STOPBITS}, false);
}

void CFlashDlgCore::OnUsbInterface() {
    LoadDownloadTypes();
    for (int id : {IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_STOPBITS}) View().SelectIndex(id, -1);
    g_bUsbLink.store(1);
    View().SetText(IDC_DATABITS, "");
    View().SetText(IDC_DATAFLOW, "");
    EnableAll({IDC_TYPE, IDC_FILE, IDC_BROWSE, IDOK_FLASH}, true);
    EnableAll({IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_STOPBITS}, false);
}

void CFlashDlgCore::OnSelchangeType() {
    if (View().GetText(IDC_FILE) != "BINARY FILE") {
        ForgetDataFile();
        View().SetText(IDC_FILE, "");
    }
    const std::string type = View().GetText(IDC_TYPE);

    m_bPinCode = EqualsNoCase(type, "Pin Code");
    View().EnableControl(IDC_PINCODE, m_bPinCode);
    View().EnableControl(IDC_BROWSE, !m_bPinCode);

    // Runs after the PIN code step, so Browse follows the friendly name alone.
    m_bFriendlyName = EqualsNoCase(type, "Friendly Name");
    View().EnableControl(IDC_FRIENDLYNAME, m_bFriendlyName);
    View().EnableControl(IDC_BROWSE, !m_bFriendlyName);
}

void CFlashDlgCore::LockControls() {
    m_bBusy = true;
    EnableAll({IDC_TYPE, IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_STOPBITS, IDC_FILE, IDC_BROWSE,
               IDOK_FLASH, IDC_EXIT, IDC_PINCODE, IDC_SERIAL, IDC_BLUETOOTH, IDC_USB},
              false);
    // The friendly-name box keeps its state.
}

void CFlashDlgCore::EnableControlsAfterRun(bool e) {
    EnableAll({IDC_SERIAL, IDC_BLUETOOTH, IDC_USB}, true);
    m_bBusy = false;

    const bool portLink = m_bSerial || m_bBluetooth;  // neither: USB
    View().EnableControl(IDC_TYPE, e);
    View().EnableControl(IDC_PORT, portLink ? e : !e);
    EnableAll({IDC_BAUD, IDC_PARITY, IDC_STOPBITS}, m_bSerial ? e : !e);
    View().EnableControl(IDC_FILE, e);
    View().EnableControl(IDOK_FLASH, e);
    View().EnableControl(IDC_EXIT, e);

    View().EnableControl(IDC_PINCODE, m_bPinCode ? e : !e);
    View().EnableControl(IDC_BROWSE, m_bPinCode ? !e : e);
    // After the PIN code step: Browse ends up governed by the friendly name.
    View().EnableControl(IDC_FRIENDLYNAME, m_bFriendlyName ? e : !e);
    View().EnableControl(IDC_BROWSE, m_bFriendlyName ? !e : e);

    // Locking moved the focus off FLASH NOW (to About); Enter must start the
    // next run, not open About.
    if (e) View().SetFocus(IDOK_FLASH);
    EndSessionIfIdle();
}
