#include "dialog/flash_dlg_core.h"

#include "dialog/control_ids.h"
#include "engine/model_table.h"
#include "ports/port_state.h"

namespace {
constexpr int kPinCodeLimit = 16;
constexpr int kFriendlyNameLimit = 32;
}  // namespace

CFlashDlgCore::CFlashDlgCore(IFlashDlgView& view)
    : m_run(*this, view), m_view(view), m_strModelTable(kModelTable) {}

void CFlashDlgCore::EnableAll(std::initializer_list<int> ids, bool enable) {
    for (int id : ids) View().EnableControl(id, enable);
}

void CFlashDlgCore::FillFixedLists() {
    View().FillList(IDC_BAUD, {"38400", "19200", "9600", "4800"});
    View().FillList(IDC_PARITY, {"NONE", "EVEN", "ODD"});
    View().FillList(IDC_STOPBITS, {"1", "2"});
    for (int id : {IDC_BAUD, IDC_PARITY, IDC_STOPBITS}) View().SelectIndex(id, 0);
}

void CFlashDlgCore::InitControls() {
    g_bCancelled.store(0);
    LoadDownloadTypes();

    // A list selects the item of that text, if it has one.
    View().SetText(IDC_PORT, m_strPort);
    View().SetText(IDC_PARITY, m_strParity);
    View().SetText(IDC_BAUD, std::to_string(m_nBaud));
    View().SetText(IDC_STOPBITS, std::to_string(m_nStopBits));
    View().SetText(IDC_DATABITS, "8");
    View().SetText(IDC_DATAFLOW, "DTR / DSR");

    EnableAll({IDC_TYPE, IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_STOPBITS, IDC_FILE, IDC_BROWSE,
               IDOK_FLASH},
              false);
    View().SetTextLimit(IDC_PINCODE, kPinCodeLimit);
    View().SetTextLimit(IDC_FRIENDLYNAME, kFriendlyNameLimit);
    // The first control of the tab order starts with the focus.
    View().SetFocus(IDC_SERIAL);
}

void CFlashDlgCore::OnCancel() {
    // Esc and the close box do nothing while a download starts or runs.
    if (!m_bBusy) View().EndDialog(kDialogEndCode);
}

void CFlashDlgCore::OnExit() { View().EndDialog(kDialogEndCode); }
