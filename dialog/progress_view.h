#pragma once
// The progress window as the main dialog's behaviour drives it, and the
// part of a view that only passes the run's values on to that window.
// Each front end opens, closes and owns its own window.

#include <string>

#include "dialog/flash_dlg_view.h"

class IProgressWindow {
public:
    virtual ~IProgressWindow() = default;
    virtual void SetRangePos(int upper, int pos) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetStep(int step) = 0;
    virtual void SetAutoStep(int flag) = 0;
    // A stopped window's bar no longer moves by itself.
    virtual void SetStop(int flag) = 0;
    virtual void EnableCancel(int flag) = 0;
    virtual bool IsCancelEnabled() const = 0;
    // The operator's Cancel, if the window offers it.
    virtual void CancelIfOffered() = 0;
};

class CProgressViewBase : public IFlashDlgView {
public:
    bool HasProgress() const override { return ProgressWindow() != nullptr; }
    void StopProgress() override;
    void SetProgressRange(int range, int pos) override;
    void SetProgressText(const std::string& text) override;
    void SetProgressStep(int step) override;
    void SetProgressAutoStep(int flag) override;
    void DisableProgressCancel() override;
    bool ProgressCancelOffered() const override;
    void PressProgressCancel() override;

protected:
    // The open progress window, or nullptr.
    virtual IProgressWindow* ProgressWindow() const = 0;
};
