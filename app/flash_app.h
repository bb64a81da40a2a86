#pragma once
// The application object: one copy per executable name, the main dialog
// with the built-in model table, and the exit status from the last
// reported result.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QString>

class CFlashDlg;
class CSingleInstance;

class CFlashApp {
public:
    CFlashApp();
    ~CFlashApp();

    // The whole run, modal dialog included. Always false (no further
    // message loop follows).
    bool InitInstance();
    // The process exit status for m_nExitCode.
    int ExitInstance();

    // Last reported result of the run; -1 when none was reported.
    int m_nExitCode = -1;

    // Seams for tests: the single-instance name (default: the executable's
    // base name) and folder, the model table text, and a call made with the
    // dialog just before it runs modally.
    void SetInstanceName(const QString& name, const QString& folder);
    void SetModelTableText(const std::string& text) { m_modelTable = text; }
    void SetDialogReadyHook(std::function<void(CFlashDlg&)> hook) { m_onDialogReady = std::move(hook); }

private:
    QString m_instanceName;
    QString m_instanceFolder;
    std::optional<std::string> m_modelTable;
    std::function<void(CFlashDlg&)> m_onDialogReady;
    std::unique_ptr<CSingleInstance> m_pInstance;
};
