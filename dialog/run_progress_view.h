#pragma once
// How a run's progress is shown: the progress window of either dialog, or
// the command line's progress line. The run (dialog/flash_run.h) drives it
// from the workers' messages; each view decides how to draw.

#include <string>

class IRunProgressView {
public:
    virtual ~IRunProgressView() = default;

    // At most one at a time. Once stopped its bar no longer moves by
    // itself; once closed it is gone.
    virtual void OpenProgress(bool cancelEnabled) = 0;
    virtual bool HasProgress() const = 0;
    virtual void StopProgress() = 0;
    virtual void CloseProgress() = 0;
    // Closed and gone before this returns (the owner is going).
    virtual void DestroyProgress() = 0;
    // A step's text comes before its range and position.
    virtual void SetProgressText(const std::string& text) = 0;
    virtual void SetProgressRange(int range, int pos) = 0;
    virtual void SetProgressStep(int step) = 0;
    virtual void SetProgressAutoStep(int flag) = 0;
    virtual void DisableProgressCancel() = 0;
    virtual bool ProgressCancelOffered() const = 0;
    // The operator's Cancel, if the progress offers it.
    virtual void PressProgressCancel() = 0;
};
