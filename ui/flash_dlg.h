#pragma once
// The main dialog: link, download type, serial settings and data file, and
// the hub that the engine and the worker threads reach through the notify
// window (messages and a few direct calls).

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "dialog/flash_dlg_core.h"
#include "dialog/flash_dlg_view.h"
#include "engine/model_table.h"
#include "ui/dialog_units.h"
#include "platform/notify_window.h"
#include "ui/flash_run.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class CGuiCallQueue;
class CPortComboBox;

class CFlashDlg : public QDialog, public CFlashDlgCore, private IFlashDlgView {
    Q_OBJECT

public:
    explicit CFlashDlg(QWidget* parent = nullptr);
    ~CFlashDlg() override;

    // The control with this identifier, or nullptr.
    QWidget* Control(int id) const;
    // The layout's dialog units.
    const CDialogUnits& Units() const { return m_units; }

    // Dialog handlers (the others are the toolkit-free ones).
    virtual bool OnInitDialog();
    virtual void OnOK();  // FLASH NOW
    void OnAbout();
    void OnBrowse();

    // The session ends or the process is asked to terminate. A run that
    // may still be cancelled is cancelled; any other run is finished; then
    // the dialog ends with the last result, as Exit would. Boxes waiting
    // for the operator are closed and no new one waits.
    void OnEndSession();
    bool EndSessionRequested() const { return m_bEndSession; }

    // FLASH NOW and the end of a run.
    bool CheckFileIdentity();
    LRESULT OnWorkerMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    // Notify window.
    LRESULT SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void ResetReceivedUSB() override;
    void SignalReceivedUSB() override;
    bool WaitReceivedUSB(int64_t timeoutMs) override;
    void KillReceiveUSBThread() override;
    bool ReconnectUsb() override;

    // Calls carried over to the dialog's thread (also for the progress dialog).
    CGuiCallQueue& GuiCalls() const { return *m_pCalls; }

    // Controls with members.
    QRadioButton* m_btnSerial = nullptr;
    QComboBox* m_cbType = nullptr;
    CPortComboBox* m_cbPort = nullptr;
    QComboBox* m_cbBaud = nullptr;
    QComboBox* m_cbParity = nullptr;
    QComboBox* m_cbStopBits = nullptr;
    QLineEdit* m_editDataBits = nullptr;
    QLineEdit* m_editDataFlow = nullptr;
    QLineEdit* m_editFile = nullptr;
    QPushButton* m_btnBrowse = nullptr;
    QLineEdit* m_editPinCode = nullptr;
    QLineEdit* m_editFriendlyName = nullptr;
    QPushButton* m_btnFlash = nullptr;
    QPushButton* m_btnExit = nullptr;

    // Settings and run state.
    QIcon m_hIcon;
    QString m_strFileName = QStringLiteral("BINARY FILE");
    QString m_strFilePath;

    // The objects of the current run and their lifetimes.
    CFlashRun m_run{*this, *this};

    // Every worker message handled, in order (diagnostics and tests).
    std::vector<UINT> m_vecWorkerMessages;

    // The dialog ends only through OnOK, OnCancel and OnExit; the first
    // show runs OnInitDialog.
    void accept() override;
    void reject() override;
    void setVisible(bool visible) override;

protected:
    // Opens a chosen data file to prove it can be read; on failure the
    // system's description of the error. A seam for tests.
    virtual bool TryOpenDataFile(const QString& path, QString* errorText);

private:
    void CreateControls();
    void RegisterControl(QWidget* w, int id);

    // The view of the toolkit-free dialog.
    void EnableControl(int id, bool enable) override;
    bool IsChecked(int id) const override;
    std::string GetText(int id) const override;
    void SetText(int id, const std::string& text) override;
    void FillList(int id, const std::vector<std::string>& items) override;
    int SelectedIndex(int id) const override;
    void SelectIndex(int id, int index) override;
    void RemoveItem(int id, int index) override;
    void SetFocus(int id) override;
    void SetTextLimit(int id, int limit) override;
    void ShowBox(const std::string& text, BoxIcon icon, const std::string& hint) override;
    void EndDialog(int code) override;
    bool OnDialogThread() const override;
    bool CallOnDialogThread(std::function<void()> fn) override;
    void ForgetDataFile() override;
    void OnControlsEnabled() override { EndSessionIfIdle(); }
    // Shows the engine's one message as a stop box while this dialog lives.
    void InstallStopMessageHook();
    void RemoveStopMessageHook();

    // Handlers of the worker messages.
    void OnDownloadDone(int result);
    // FLASH NOW's steps after the checks.
    void StartUsbRun();
    void StartSerialRun();
    // Refuses the run being started: the message (none for 0), the
    // controls unlocked, the download object gone.
    void RefuseRun(int code);
    // What FLASH NOW decided, for the run's worker.
    RunPlan Plan() const;
    // Ends the dialog once no run is in progress, if the end was asked for.
    void EndSessionIfIdle();
    // The length rules of the data file: 1, 1007 or 1020.
    int CheckDataLength() const;

    bool m_bEndSession = false;
    // Where the file dialog was last left in this session.
    QString m_strLastBrowsedFolder;
    // The system's text when CheckFileIdentity could not open the file.
    QString m_strFileOpenError;

    std::map<int, QWidget*> m_controls;
    CDialogUnits m_units;
    std::unique_ptr<CGuiCallQueue> m_pCalls;
    bool m_bInitialized = false;
};
