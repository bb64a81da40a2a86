#include "app/flash_app.h"

#include <QPointer>

#include "app/single_instance.h"
#include "engine/result_codes.h"
#include "ui/flash_dlg.h"
#include "ui/message_boxes.h"

CFlashApp::CFlashApp() = default;

CFlashApp::~CFlashApp() = default;

void CFlashApp::SetInstanceName(const QString& name, const QString& folder) {
    m_instanceName = name;
    m_instanceFolder = folder;
}

bool CFlashApp::InitInstance() {
    const QString name = m_instanceName.isEmpty() ? ApplicationName() : m_instanceName;
    const QString folder =
        m_instanceFolder.isEmpty() ? CSingleInstance::RuntimeFolder() : m_instanceFolder;
    // Held for the whole process, like the named mutex it stands for.
    m_pInstance = std::make_unique<CSingleInstance>(name, folder);
    if (!m_pInstance->Acquire()) {
        // Another copy runs: bring it to the front, silently.
        m_pInstance->AskRunningCopyToRaise();
        return false;
    }

    auto dlg = std::make_unique<CFlashDlg>();
    QPointer<CFlashDlg> raiseTarget(dlg.get());
    m_pInstance->SetRaiseHandler([raiseTarget] {
        if (!raiseTarget) return;
        raiseTarget->setWindowState(raiseTarget->windowState() & ~Qt::WindowMinimized);
        raiseTarget->raise();
        raiseTarget->activateWindow();
    });

    if (m_modelTable) dlg->SetModelTableText(*m_modelTable);
    if (dlg->ParseModelTable() != 0 || dlg->SelectModel() == 0) {
        dlg->ReportResult(1024);
        m_pInstance->SetRaiseHandler(nullptr);
        return false;
    }

    if (m_onDialogReady) m_onDialogReady(*dlg);
    dlg->exec();  // the end code (1027) is not used
    m_nExitCode = dlg->m_nLastResult;
    m_pInstance->SetRaiseHandler(nullptr);
    return false;
}

int CFlashApp::ExitInstance() { return ExitStatusForResult(m_nExitCode); }
