// Picking the link and the download type; the controls while a run is
// prepared and after it. On the Bluetooth link the paired printers follow
// COM1..COM64 in the port list.

#include <string>
#include <vector>

#include "dialog/control_ids.h"
#include "dialog/flash_dlg_core.h"
#include "dialog/no_case.h"
#include "ports/bluetooth_printers.h"
#include "ports/port_state.h"

namespace {

constexpr int kPortCount = 64;

std::vector<std::string> PortNames() {
    std::vector<std::string> names;
    for (int n = 1; n <= kPortCount; ++n) names.push_back("COM" + std::to_string(n));
    return names;
}

std::string PrinterItem(const rtq::BluetoothPrinter& p) {
    return p.name.empty() ? p.address : p.name + " (" + p.address + ")";
}

// The service knows whether a link to the printer is up, not whether an
// idle printer is in reach: only connecting tells.
std::string PrinterTip(const rtq::BluetoothPrinter& p, bool bluetoothOn) {
    const std::string what = "Paired Bluetooth printer " + p.address;
    if (!bluetoothOn) return what + "; Bluetooth is switched off";
    if (p.connected) return what + ", connected now (in reach)";
    return what + ", not connected now; whether it is in reach shows when FLASH NOW connects";
}

}  // namespace

void CFlashDlgCore::OnSerialPort() {
    ++m_nPortList;
    g_bUsbLink.store(0);
    View().FillList(IDC_PORT, PortNames());
    LoadDownloadTypes();
    EnableAll({IDC_TYPE, IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_STOPBITS, IDC_FILE, IDC_BROWSE,
               IDOK_FLASH},
              true);
}

void CFlashDlgCore::OnBluetooth() {
    ++m_nPortList;
    g_bUsbLink.store(0);
    View().FillList(IDC_PORT, PortNames());
    ListBluetoothPrinters();
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
    ++m_nPortList;
    LoadDownloadTypes();
    for (int id : {IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_STOPBITS}) View().SelectIndex(id, -1);
    g_bUsbLink.store(1);
    View().SetText(IDC_DATABITS, "");
    View().SetText(IDC_DATAFLOW, "");
    EnableAll({IDC_TYPE, IDC_FILE, IDC_BROWSE, IDOK_FLASH}, true);
    EnableAll({IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_STOPBITS}, false);
}

void CFlashDlgCore::ListBluetoothPrinters() {
    m_vecPrinters.clear();
    m_nPrintersFor = m_nPortList;
    // A read still going answers for this list.
    if (m_bReadingPrinters) return;
    m_bReadingPrinters = true;
    std::weak_ptr<CFlashDlgCore*> self = m_self;
    IFlashDlgView& view = View();
    m_printerLookup.Start([self, &view](rtq::BluetoothState state) {
        view.PostToDialogThread([self, state = std::move(state)] {
            if (auto dlg = self.lock()) (*dlg)->ShowBluetoothPrinters(state);
        });
    });
}

void CFlashDlgCore::ShowBluetoothPrinters(const rtq::BluetoothState& state) {
    m_bReadingPrinters = false;
    if (m_nPrintersFor != m_nPortList) return;  // another link was picked since
    std::vector<rtq::BluetoothPrinter> printers = rtq::PairedSerialPrinters(state);
    if (printers.empty()) return;
    rtq::LastError off;
    const bool on = rtq::BluetoothUsable(state, &off);
    const std::string chosen = View().GetText(IDC_PORT);
    std::vector<std::string> items = PortNames();
    for (const rtq::BluetoothPrinter& p : printers) items.push_back(PrinterItem(p));
    View().FillList(IDC_PORT, items);
    for (size_t i = 0; i < printers.size(); ++i)
        View().SetItemTip(IDC_PORT, kPortCount + static_cast<int>(i), PrinterTip(printers[i], on));
    // The operator may have picked a port meanwhile.
    if (!chosen.empty()) View().SetText(IDC_PORT, chosen);
    m_vecPrinters = std::move(printers);
}

const rtq::BluetoothPrinter* CFlashDlgCore::ChosenPrinter() const {
    const int index = View().SelectedIndex(IDC_PORT) - kPortCount;
    if (index < 0 || static_cast<size_t>(index) >= m_vecPrinters.size()) return nullptr;
    const rtq::BluetoothPrinter& p = m_vecPrinters[static_cast<size_t>(index)];
    return View().GetText(IDC_PORT) == PrinterItem(p) ? &p : nullptr;
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
