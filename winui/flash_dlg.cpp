#include "winui/flash_dlg.h"

#include "dialog/control_ids.h"
#include "dialog/file_filters.h"
#include "winui/transmit_dlg.h"

CFlashDlg::CFlashDlg(void* instance) : m_window(instance, *this) {
    m_pCalls = std::make_unique<rtq::CallQueue>([this] { m_window.PostCallsPending(); });
    Attach(*m_pCalls);
}

CFlashDlg::~CFlashDlg() { Detach(); }

void CFlashDlg::OnInitDialog() {
    FillFixedLists();
    InitControls();
    ShowDataFile();
}

void CFlashDlg::OnAction(DialogAction action) {
    switch (action) {
    case DialogAction::FlashNow: OnOK(); break;
    case DialogAction::Cancel: OnCancel(); break;
    case DialogAction::Serial: OnSerialPort(); break;
    case DialogAction::Bluetooth: OnBluetooth(); break;
    case DialogAction::Usb: OnUsbInterface(); break;
    case DialogAction::TypeChanged: OnSelchangeType(); break;
    case DialogAction::Browse: OnBrowse(); break;
    case DialogAction::About: m_window.ShowAbout(); break;
    case DialogAction::Exit: OnExit(); break;
    }
    OnBluetoothToggled(m_window.IsChecked(IDC_BLUETOOTH));
}

bool CFlashDlg::OnQueryEndSession() {
    // Never in the middle of writing the printer's flash: a run that may
    // still be cancelled is cancelled, any other is finished first; the
    // dialog then ends as Exit would.
    OnEndSession();
    return !IsBusy();
}

void CFlashDlg::OnCallsPending() { m_pCalls->Drain(); }

void CFlashDlg::OnDestroy() {
    // The window is going: a worker's call from now on gets false.
    m_pCalls->Close();
}

void CFlashDlg::OnBrowse() {
    const FileFilter* filter = BrowseFilter();
    if (!filter) return;
    std::string path;
    std::string name;
    if (m_window.ChooseFile(filter->description, filter->extension, &path, &name)) SetDataFile(path, name);
    // Confirmed or not, the box shows the file chosen now.
    ShowDataFile();
}
