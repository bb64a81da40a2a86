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

// One model of the model table: its start index (as text) and its name.
struct ModelEntry {
    QString strStart;
    QString strName;
};

// One download type: display name, kind letter, first sector (as text).
struct DownloadTypeEntry {
    QString strName;
    QString strKind;
    QString strFirstSector;
};

constexpr int kMaxModels = 50;
constexpr int kMaxTypes = 50;

class CFlashDlg : public QDialog, public INotifyWindow {
    Q_OBJECT

public:
    explicit CFlashDlg(QWidget* parent = nullptr);
    ~CFlashDlg() override;

    // The control with this identifier, or nullptr.
    QWidget* Control(int id) const;
    // The layout's dialog units.
    const CDialogUnits& Units() const { return m_units; }

    // Replaces the built-in model table text (before ParseModelTable).
    void SetModelTableText(const std::string& text) { m_strModelTable = text; }

    // Model table.
    int ParseModelTable();  // 0 on success
    int SelectModel();      // 1 on success, else 0
    int LoadModelTypes(int nFields);  // 1 on success, else 0
    int LoadDownloadTypes();          // 1, or 1024 after reporting it
    // Maps a download-type text back to its type (first match by display
    // name, case-insensitive): the kind of its letter and its first sector.
    // False when no display name matches (result 1012).
    bool FindDownloadType(const QString& text, DownloadKind* kind, int* firstSector) const;

    // Shows the result message (if the code has one), then records the code.
    void ReportResult(int code) override;

    // Dialog handlers.
    virtual bool OnInitDialog();
    virtual void OnOK();  // FLASH NOW
    virtual void OnCancel();
    void OnExit();
    void OnAbout();
    void OnSerialPort();
    void OnBluetooth();
    void OnUsbInterface();
    void OnSelchangeType();
    void OnBrowse();

    // The session ends or the process is asked to terminate. A run that
    // may still be cancelled is cancelled; any other run is finished; then
    // the dialog ends with the last result, as Exit would. Boxes waiting
    // for the operator are closed and no new one waits.
    void OnEndSession();
    bool EndSessionRequested() const { return m_bEndSession; }

    // FLASH NOW and the end of a run.
    int CheckSettings();
    bool CheckFileIdentity();
    void LockControls();
    LRESULT OnWorkerMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    // Notify window.
    LRESULT SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void ResetReceivedUSB() override;
    void SignalReceivedUSB() override;
    bool WaitReceivedUSB(int64_t timeoutMs) override;
    void KillReceiveUSBThread() override;
    bool ReconnectUsb() override;
    bool IsBluetoothChecked() override;

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
    QString m_strPort = QStringLiteral("COM1");
    QString m_strParity = QStringLiteral("NONE");
    int m_nStopBits = 1;
    int m_nBaud = 115200;
    int m_nFirstSector = 0;
    bool m_bBusy = false;
    bool m_bMainFirmware = false;
    bool m_bIplFirmware = false;
    bool m_bFont = false;
    bool m_bPinCode = false;
    bool m_bFriendlyName = false;
    bool m_bSerial = false;
    bool m_bBluetooth = false;
    int m_nLastResult = -1;

    // The objects of the current run and their lifetimes.
    CFlashRun m_run{*this, *this};

    // Every worker message handled, in order (diagnostics and tests).
    std::vector<UINT> m_vecWorkerMessages;

    // Model table.
    QStringList m_lstFields;
    QStringList m_lstModelStarts;
    int m_nModelCount = 1;
    ModelEntry m_aModels[kMaxModels];
    int m_nModelStart = -1;
    DownloadTypeEntry m_aTypes[kMaxTypes];
    int m_nTypeCount = -1;
    const int32_t* m_pSectorMap = nullptr;

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
    void EnableControl(int id, bool enable);
    // Shows the engine's one message as a stop box while this dialog lives.
    void InstallStopMessageHook();
    void RemoveStopMessageHook();

    // Handlers of the worker messages.
    void OnDownloadDone(int result);
    void EnableControlsAfterRun(bool e);
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
    std::string m_strModelTable;
    bool m_bInitialized = false;
    // Check state of the Bluetooth button, readable from any thread.
    std::atomic<bool> m_bBluetoothChecked{false};
};
