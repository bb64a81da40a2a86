#pragma once
// The main dialog's behaviour, free of any toolkit: which controls work
// for which link, the lists, the settings check of FLASH NOW and the
// result messages. A view (IFlashDlgView) draws the controls; the class
// that derives from this one supplies the notify window's other calls.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "dialog/flash_dlg_view.h"
#include "engine/model_table.h"
#include "platform/notify_window.h"

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
public:
    CFlashDlgCore();
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

    // FLASH NOW.
    int CheckSettings();
    void LockControls();
    bool IsBusy() const { return m_bBusy; }

    bool IsBluetoothChecked() override { return m_bBluetoothChecked.load(); }
    // The view reports the Bluetooth button's state as it changes; workers
    // read it from their threads.
    void OnBluetoothToggled(bool checked) { m_bBluetoothChecked.store(checked); }

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

    // Model table.
    std::vector<std::string> m_lstFields;
    std::vector<std::string> m_lstModelStarts;
    int m_nModelCount = 1;
    ModelEntry m_aModels[kMaxModels];
    int m_nModelStart = -1;
    DownloadTypeEntry m_aTypes[kMaxTypes];
    int m_nTypeCount = -1;
    const int32_t* m_pSectorMap = nullptr;

protected:
    void SetView(IFlashDlgView* view) { m_pView = view; }
    IFlashDlgView& View() const { return *m_pView; }

    // The fixed lists (baud rate, parity, stop bits) and the start state of
    // the controls: until a link is picked only the link buttons, About and
    // Exit work.
    void FillFixedLists();
    void InitControls();
    // WM_ENABLE_CONTROLS: the controls after a run, for its link and type.
    void EnableControlsAfterRun(bool e);
    // Called once the controls are enabled again after a run.
    virtual void OnControlsEnabled() {}
    // The chosen data file is forgotten (another download type was picked).
    virtual void ForgetDataFile() = 0;

private:
    void EnableAll(std::initializer_list<int> ids, bool enable);

    IFlashDlgView* m_pView = nullptr;
    std::string m_strModelTable;
    // Check state of the Bluetooth button, readable from any thread.
    std::atomic<bool> m_bBluetoothChecked{false};
};
