#pragma once
// The main dialog's behaviour, free of any toolkit: which controls work
// for which link, the lists, the settings check of FLASH NOW and the
// result messages. A view (IFlashDlgView) draws the controls; the class
// that derives from this one supplies the notify window's other calls.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dialog/flash_dlg_view.h"
#include "dialog/flash_run.h"
#include "dialog/printer_lookup.h"
#include "engine/model_table.h"
#include "platform/notify_window.h"

struct FileFilter;

// One model of the model table: its start index (as text) and its name.
struct ModelEntry {
    std::string strStart;
    std::string strName;
};

// One download type: display name, kind letter, first sector (as text).
struct DownloadTypeEntry {
    std::string strName;
    std::string strKind;
    std::string strFirstSector;
};

constexpr int kMaxModels = 50;
constexpr int kMaxTypes = 50;

class CFlashDlgCore : public INotifyWindow {
    // Tests look inside.
    friend struct FlashDlgTestAccess;

public:
    // The view is used from the first handler on, not while constructing.
    explicit CFlashDlgCore(IFlashDlgView& view);
    ~CFlashDlgCore() override = default;
    CFlashDlgCore(const CFlashDlgCore&) = delete;
    CFlashDlgCore& operator=(const CFlashDlgCore&) = delete;

    // Replaces the built-in model table text (before ParseModelTable).
    void SetModelTableText(const std::string& text) { m_strModelTable = text; }

    // Model table.
    int ParseModelTable();            // 0 on success
    int SelectModel();                // 1 on success, else 0
    int LoadModelTypes(int nFields);  // 1 on success, else 0
    int LoadDownloadTypes();          // 1, or 1024 after reporting it
    // Maps a download-type text back to its type (first match by display
    // name, ASCII case-insensitive): the kind of its letter and its first
    // sector. False when no display name matches (result 1012).
    bool FindDownloadType(const std::string& text, DownloadKind* kind, int* firstSector) const;

    // Shows the result message (if the code has one), then records the code.
    void ReportResult(int code) override;
    int LastResult() const { return m_nLastResult; }

    // The operator's actions.
    void OnSerialPort();
    void OnBluetooth();
    void OnUsbInterface();
    void OnSelchangeType();
    virtual void OnCancel();
    void OnExit();
    // Browse: the file filter of the chosen download type, or nullptr
    // after telling the operator why no file can be chosen.
    const FileFilter* BrowseFilter();

    // FLASH NOW: lock the dialog, check the settings and the data file,
    // create the download object and hand the run to its worker.
    virtual void OnOK();
    int CheckSettings();
    bool CheckFileIdentity();
    void LockControls();
    bool IsBusy() const { return m_bBusy; }

    // The session ends or the process is asked to terminate. A run that
    // may still be cancelled is cancelled; any other run is finished; then
    // the dialog ends with the last result, as Exit would. Boxes waiting
    // for the operator are closed and no new one waits.
    void OnEndSession();
    bool EndSessionRequested() const { return m_bEndSession; }

    // The workers' messages, on the dialog's thread.
    LRESULT OnWorkerMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    // Notify window.
    LRESULT SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void ResetReceivedUSB() override;
    void SignalReceivedUSB() override;
    bool WaitReceivedUSB(int64_t timeoutMs) override;
    void KillReceiveUSBThread() override;
    bool ReconnectUsb() override;

    bool IsBluetoothChecked() override { return m_bBluetoothChecked.load(); }
    // The view reports the Bluetooth button's state as it changes; workers
    // read it from their threads.
    void OnBluetoothToggled(bool checked) { m_bBluetoothChecked.store(checked); }

    // Every worker message handled, in order (diagnostics).
    const std::vector<UINT>& WorkerMessages() const { return m_vecWorkerMessages; }

    // Where the Bluetooth link's port list finds the paired printers
    // (default: the system's Bluetooth service).
    void SetBluetoothReader(CPrinterLookup::Reader reader) {
        m_printerLookup.SetReader(std::move(reader));
    }

protected:
    IFlashDlgView& View() const { return m_view; }
    // The dialog goes (its view still lives): every object of the run goes,
    // and the printer lookup is waited for.
    void ReleaseRun() {
        m_run.Release();
        m_printerLookup.Join();
    }

    // The fixed lists (baud rate, parity, stop bits) and the start state of
    // the controls: until a link is picked only the link buttons, About and
    // Exit work.
    void FillFixedLists();
    void InitControls();
    // WM_ENABLE_CONTROLS: the controls after a run, for its link and type.
    void EnableControlsAfterRun(bool e);
    // The chosen data file is forgotten (another download type was picked).
    virtual void ForgetDataFile() = 0;
    // The chosen data file's path as the file system takes it ("" for none).
    virtual std::string DataFilePath() const = 0;

private:
    void EnableAll(std::initializer_list<int> ids, bool enable);
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
    // The Bluetooth link's port list: the paired printers follow the COM
    // ports once the Bluetooth service has answered.
    void ListBluetoothPrinters();
    void ShowBluetoothPrinters(const rtq::BluetoothState& state);
    // The printer of the port list's selected item, if it is one.
    const rtq::BluetoothPrinter* ChosenPrinter() const;

    // Settings and run state.
    std::string m_strPort = "COM1";
    std::string m_strParity = "NONE";
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
    CFlashRun m_run;

    // Every worker message handled, in order (diagnostics and tests).
    std::vector<UINT> m_vecWorkerMessages;

    // Model table.
    std::vector<std::string> m_lstFields;
    std::vector<std::string> m_lstModelStarts;
    int m_nModelCount = 1;
    ModelEntry m_aModels[kMaxModels];
    int m_nModelStart = -1;
    DownloadTypeEntry m_aTypes[kMaxTypes];
    int m_nTypeCount = -1;
    const int32_t* m_pSectorMap = nullptr;

    IFlashDlgView& m_view;
    bool m_bEndSession = false;
    // The system's text when CheckFileIdentity could not open the file.
    std::string m_strFileOpenError;
    std::string m_strModelTable;
    // Check state of the Bluetooth button, readable from any thread.
    std::atomic<bool> m_bBluetoothChecked{false};

    // The port list's printers, in item order after COM64; the list's
    // generation (one more at each link change) and the one that wants
    // the printers.
    std::vector<rtq::BluetoothPrinter> m_vecPrinters;
    int m_nPortList = 0;
    int m_nPrintersFor = -1;
    bool m_bReadingPrinters = false;  // a read's answer is still to come
    CPrinterLookup m_printerLookup;
    // Lets an answer that arrives after the dialog went find it gone.
    std::shared_ptr<CFlashDlgCore*> m_self = std::make_shared<CFlashDlgCore*>(this);
};
