#include "app/flash_app.h"

#include <QGuiApplication>
#include <QPointer>
#include <QSessionManager>

#include "app/single_instance.h"
#include "app/termination_signals.h"
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

    // A logout or a kill ends the dialog as Exit would, after the run.
    CFlashDlg* ending = dlg.get();
    CTerminationSignals termination([ending](int) { ending->OnEndSession(); });
    QMetaObject::Connection sessionEnd;
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        sessionEnd = QObject::connect(gui, &QGuiApplication::commitDataRequest, ending,
                                      [ending](QSessionManager&) { ending->OnEndSession(); });

    if (m_onDialogReady) m_onDialogReady(*dlg);
    dlg->exec();  // the end code (1027) is not used
    QObject::disconnect(sessionEnd);
    m_nExitCode = dlg->m_nLastResult;
    m_pInstance->SetRaiseHandler(nullptr);
    return false;
}

int CFlashApp::ExitInstance() { return ExitStatusForResult(m_nExitCode); }
