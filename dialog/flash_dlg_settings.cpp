// FLASH NOW's check of the settings: the link, the port, the texts, the
// download type, the file's extension and the serial settings.

#include <string>

#include "dialog/control_ids.h"
#include "dialog/flash_dlg_core.h"
#include "engine/data_file.h"
#include "engine/result_codes.h"
#include "engine/run_settings.h"
#include "engine/settings_check.h"
#include "ports/port_state.h"

namespace {

// Longest list text the checks read.
constexpr size_t kMaxListText = 9;

}  // namespace

int CFlashDlgCore::CheckSettings() {
    m_bMainFirmware = m_bIplFirmware = m_bFont = m_bPinCode = m_bFriendlyName = false;
    g_bPinCodeRun.store(0);
    g_bFriendlyNameRun.store(0);
    const IFlashDlgView& view = View();
    auto listText = [&view](int id) { return view.GetText(id).substr(0, kMaxListText); };

    // The first selected link button counts; none selected counts as serial.
    const bool usb = !view.IsChecked(IDC_SERIAL) && !view.IsChecked(IDC_BLUETOOTH) &&
                     view.IsChecked(IDC_USB);
    const bool bluetooth = !view.IsChecked(IDC_SERIAL) && view.IsChecked(IDC_BLUETOOTH);
    m_bSerial = !usb && !bluetooth;
    m_bBluetooth = bluetooth;
    if (const rtq::BluetoothPrinter* printer = bluetooth ? ChosenPrinter() : nullptr) {
        // A paired printer: the RFCOMM link to its address.
        m_strPort = printer->address;
    } else if (!usb) {
        const std::string port = listText(IDC_PORT);
        if (port.empty()) return kResultBadPort;
        m_strPort = "\\\\.\\" + port;
    }

    // Both texts are checked whatever the type.
    g_strPinCode = view.GetText(IDC_PINCODE);
    g_strFriendlyName = view.GetText(IDC_FRIENDLYNAME);
    if (CheckFriendlyNameChars(g_strFriendlyName) != kResultSuccess) return kResultBadFriendlyName;
    if (CheckPinCodeChars(g_strPinCode) != kResultSuccess) return kResultBadPinCode;

    DownloadKind kind = DownloadKind::None;
    int firstSector = 0;
    if (!FindDownloadType(view.GetText(IDC_TYPE), &kind, &firstSector)) return kResultBadDownloadType;
    m_nFirstSector = firstSector;
    switch (kind) {
        case DownloadKind::MainFirmware: m_bMainFirmware = true; break;
        case DownloadKind::IplFirmware: m_bIplFirmware = true; break;
        case DownloadKind::Font: m_bFont = true; break;
        case DownloadKind::PinCode:
            m_bPinCode = true;
            g_bPinCodeRun.store(1);
            break;
        case DownloadKind::FriendlyName:
            m_bFriendlyName = true;
            g_bFriendlyNameRun.store(1);
            break;
        case DownloadKind::None: return kResultBadDownloadType;
    }

    if (IsFileKind(kind) && CheckFileExtension(view.GetText(IDC_FILE), kind) != kResultSuccess)
        return kResultBadDataFile;

    if (!usb) {
        std::string parity;
        int32_t baud = 0;
        int32_t stopBits = 0;
        if (CheckParity(listText(IDC_PARITY), &parity) != kResultSuccess) return kResultBadParity;
        if (CheckBaudRate(listText(IDC_BAUD), &baud) != kResultSuccess) return kResultBadBaud;
        if (CheckStopBits(listText(IDC_STOPBITS), &stopBits) != kResultSuccess)
            return kResultBadStopBits;
        m_strParity = parity;
        m_nBaud = baud;
        m_nStopBits = stopBits;
    }
    return kResultSuccess;
}
