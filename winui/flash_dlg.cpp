#include "winui/flash_dlg.h"

#include "dialog/control_ids.h"
#include "dialog/file_filters.h"
#include "ports/port_state.h"
#include "winui/transmit_dlg.h"

CFlashDlg::CFlashDlg(void* instance)
    : CFlashDlgCore(static_cast<IFlashDlgView&>(*this)), m_window(instance, *this) {
    m_pCalls = std::make_unique<rtq::CallQueue>([this] { m_window.PostCallsPending(); });
    g_pMainDlg.store(this);
    m_pStopMessages = std::make_unique<CStopMessageOwner>(static_cast<IFlashDlgView&>(*this));
}

CFlashDlg::~CFlashDlg() {
    // Workers still running get no answer from here on (their calls return
    // at once), so that waiting for their end below cannot deadlock.
    m_pCalls->Close();
    ReleaseRun();
    m_pStopMessages.reset();
    INotifyWindow* notify = this;
    g_pMainDlg.compare_exchange_strong(notify, nullptr);
}

void CFlashDlg::OnInitDialog() {
    FillFixedLists();
    InitControls();
    m_window.SetText(IDC_FILE, m_strFileName);
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
    if (m_window.ChooseFile(filter->description, filter->extension, &path, &name)) {
        m_strFilePath = path;
        m_strFileName = name;
    }
    // Confirmed or not, the box shows the file chosen now.
    m_window.SetText(IDC_FILE, m_strFileName);
}
