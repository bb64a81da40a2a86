#include "dialog/flash_dlg_base.h"

#include "dialog/control_ids.h"
#include "ports/port_state.h"

CFlashDlgBase::CFlashDlgBase() : CFlashDlgCore(static_cast<IFlashDlgView&>(*this)) {}

CFlashDlgBase::~CFlashDlgBase() = default;

void CFlashDlgBase::Attach(rtq::CallQueue& calls) {
    m_pCalls = &calls;
    g_pMainDlg.store(this);
    m_pStopMessages = std::make_unique<CStopMessageOwner>(static_cast<IFlashDlgView&>(*this));
}

void CFlashDlgBase::Detach() {
    m_pCalls->Close();
    ReleaseRun();
    m_pStopMessages.reset();
    INotifyWindow* self = this;
    g_pMainDlg.compare_exchange_strong(self, nullptr);
}

void CFlashDlgBase::SetDataFile(const std::string& path, const std::string& name) {
    m_strFilePath = path;
    m_strFileName = name;
}

void CFlashDlgBase::ShowDataFile() { SetText(IDC_FILE, m_strFileName); }

bool CFlashDlgBase::OnDialogThread() const { return m_pCalls->OnOwnerThread(); }

bool CFlashDlgBase::CallOnDialogThread(std::function<void()> fn) { return m_pCalls->Call(std::move(fn)); }

void CFlashDlgBase::PostToDialogThread(std::function<void()> fn) { m_pCalls->Post(std::move(fn)); }

void CFlashDlgBase::ForgetDataFile() {
    m_strFilePath.clear();
    m_strFileName.clear();
}

std::string CFlashDlgBase::DataFilePath() const { return m_strFilePath; }
