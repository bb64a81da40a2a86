#pragma once
// The modeless progress window of a run (template IDD_PROGRESS): the step
// text in the group box caption above a progress bar, and Cancel. The
// downloader's messages only store values here; a refresher thread asks
// the window every 500 ms to show them and to let the bar creep forward by
// the current step. Everything but the refresher runs on the
// user-interface thread. Free of <windows.h> (handles are void*), so that
// the core's side of the main dialog can hold it.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "dialog/progress_view.h"
#include "platform/event.h"

class CTransmitDlg : public IProgressWindow {
public:
    static constexpr int kRefreshMs = 500;

    // owner: the main dialog's window; this one is placed over it and
    // stays above. onCancel: what the operator's Cancel does besides
    // freezing the window.
    CTransmitDlg(void* instance, void* owner, std::function<void()> onCancel);
    // Closes the window if it is still open.
    ~CTransmitDlg() override;
    CTransmitDlg(const CTransmitDlg&) = delete;
    CTransmitDlg& operator=(const CTransmitDlg&) = delete;

    // Shows and paints the window at once, sets Cancel, starts the refresher.
    void Open(bool cancelEnabled);
    // Stops the refresher, waits for its end, destroys the window.
    void Close();

    void SetRangePos(int upper, int pos) override;
    void SetStatusText(const std::string& text) override;
    void SetStep(int step) override { m_nStep = step; }
    void SetAutoStep(int flag) override { m_bAutoStep = flag; }
    // A stopped window is frozen: no refresh changes it any more.
    void SetStop(int flag) override;
    int IsStopped() const { return m_bStop.load(); }
    void EnableCancel(int flag) override;
    bool IsCancelEnabled() const override;
    // What the Cancel button does, if the window offers it.
    void CancelIfOffered() override;

    // Pushes the values to the controls, then advances the position by the
    // step while auto-step is on and the position is below the range
    // (compared as unsigned).
    void Refresh();

    void* Window() const { return m_hWnd; }

private:
    void ProgressUpdateProc();
    // Freezes the display and cancels; the window stays.
    void OnCancel();

    void* m_hInstance;
    void* m_hOwner;
    void* m_hWnd = nullptr;
    std::function<void()> m_onCancel;

    int m_bAutoStep = 1;
    std::atomic<int> m_bStop{0};
    std::string m_strStatus;
    int m_nPos = 0;
    int m_nRange = 0;
    int m_nStep = 0;

    // Wakes the refresher's pause when m_bStop is raised.
    rtq::Event m_eventStop{true, false};
    std::thread m_refresher;
};
