#include "app/flash_app.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <QGuiApplication>
#include <QPointer>
#include <QSessionManager>

#include "app/single_instance.h"
#include "app/termination_signals.h"
#include "ports/wire_trace.h"
#include "engine/result_codes.h"
#include "ui/flash_dlg.h"
#include "ui/message_boxes.h"

namespace {

// RTQFLASH_TRACE=FILE: the wire trace of every run of this session. A
// trace that cannot be written leaves the runs untraced, with a word why.
class TraceSession {
public:
    TraceSession() {
        const char* path = std::getenv("RTQFLASH_TRACE");
        if (!path || !*path) return;
        std::string error;
        m_bOn = rtq::StartWireTrace(path, &error);
        if (!m_bOn) std::fprintf(stderr, "%s: %s\n", qPrintable(ApplicationName()), error.c_str());
    }
    ~TraceSession() {
        if (m_bOn) rtq::StopWireTrace();
    }
    TraceSession(const TraceSession&) = delete;
    TraceSession& operator=(const TraceSession&) = delete;

private:
    bool m_bOn = false;
};

}  // namespace

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

    // A record of the link for the whole session, when asked for. Only
    // the copy that runs writes it: a refused second start adds nothing.
    // Declared before the dialog: it stops after the dialog's workers ended.
    const TraceSession trace;
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
    m_nExitCode = dlg->LastResult();
    m_pInstance->SetRaiseHandler(nullptr);
    return false;
}

int CFlashApp::ExitInstance() { return ExitStatusForResult(m_nExitCode); }
