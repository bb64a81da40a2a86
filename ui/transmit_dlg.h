#pragma once
// The modeless progress window of a run: the step text in the group box
// caption above a progress bar, and Cancel. The downloader's messages only
// store values here; a refresher thread pushes them to the controls every
// 500 ms and lets the bar creep forward by the current step.

#include <QDialog>
#include <QString>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "dialog/progress_view.h"
#include "platform/event.h"

class CGuiCallQueue;
class QCloseEvent;
class QGroupBox;
class QProgressBar;
class QPushButton;

class CTransmitDlg : public QDialog, public IProgressWindow {
    Q_OBJECT

public:
    // Control ids of the window.
    static constexpr int IDD = 134;
    static constexpr int IDC_PROGRESS = 1021;
    static constexpr int IDC_STATUS = 1022;
    static constexpr int IDC_CANCEL = 1046;
    static constexpr int kRefreshMs = 500;

    // owner: the main dialog. The window is a dialog of its own that the
    // window manager keeps above its owner, and the owner's modality does
    // not block it. Without an owner (tests) it sits at its template place.
    explicit CTransmitDlg(QWidget* owner = nullptr);
    ~CTransmitDlg() override;

    // Shows the window centred over its owner, above it and active, paints
    // it at once, sets Cancel and starts the refresher. Called once, on the
    // user-interface thread.
    void Open(bool cancelEnabled);
    // Stops the refresher and waits for its end, then destroys the window;
    // the object deletes itself afterwards (deleteLater), so the caller
    // must forget its pointer. User-interface thread only.
    void Close();

    // Plain stores, read by the refresher.
    void SetRangePos(int upper, int pos) override;
    void SetStatusText(const std::string& text) override;
    void SetStatusText(const QString& text);
    void SetStep(int step) override;
    void SetAutoStep(int flag) override;
    void SetStop(int flag) override;
    int IsStopped() const;
    void EnableCancel(int flag) override;
    bool IsCancelEnabled() const override;
    // What Esc does: Cancel, if the window offers it.
    void CancelIfOffered() override { reject(); }

    // Pushes the values to the controls (queued to the user-interface
    // thread when called elsewhere, never blocking), then advances the
    // position by the step while auto-step is on and the position is below
    // the range (compared as unsigned).
    void Refresh();

    // The stored values.
    int Pos() const { return m_nPos; }
    int Range() const { return m_nRange; }
    int Step() const { return m_nStep; }
    int AutoStep() const { return m_bAutoStep; }
    QString StatusText() const;
    bool RefresherRunning() const;

    CTransmitDlg(const CTransmitDlg&) = delete;
    CTransmitDlg& operator=(const CTransmitDlg&) = delete;

protected:
    // Virtual operations in their order, after the destructor.
    // Binds the three controls to their members.
    virtual void DoDataExchange();
    // After the window is gone: the object deletes itself.
    virtual void PostNcDestroy();
    virtual bool OnInitDialog();
    // Enter never closes the window.
    virtual void OnOK();
    // Freezes the display and raises g_bCancelled; the window stays.
    virtual void OnCancel();

    // Enter, Esc and the window's close request reach OnOK and OnCancel.
    void accept() override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    static void ProgressUpdateProc(CTransmitDlg* dlg);
    void CentreOverOwner();
    void ApplyToControls(const QString& status, int range, int pos);
    void StopRefresher();

    QPushButton* m_btnCancel = nullptr;
    QGroupBox* m_grpStatus = nullptr;
    QProgressBar* m_ctlProgress = nullptr;
    // Carries the refresher's control updates to the user-interface thread.
    CGuiCallQueue* m_guiCalls = nullptr;

    std::atomic<int> m_bAutoStep{1};
    std::atomic<int> m_bStop{0};
    mutable std::mutex m_statusMutex;
    QString m_strStatus;
    std::atomic<int> m_nPos{0};
    std::atomic<int> m_nRange{0};
    std::atomic<int> m_nStep{0};

    // Wakes the refresher's pause when m_bStop is raised.
    rtq::Event m_eventStop{true, false};
    std::thread m_refresher;
    bool m_bClosing = false;
};
