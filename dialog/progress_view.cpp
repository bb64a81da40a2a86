#include "dialog/progress_view.h"

void CProgressViewBase::StopProgress() {
    if (IProgressWindow* w = ProgressWindow()) w->SetStop(1);
}

void CProgressViewBase::SetProgressRange(int range, int pos) {
    if (IProgressWindow* w = ProgressWindow()) w->SetRangePos(range, pos);
}

void CProgressViewBase::SetProgressText(const std::string& text) {
    if (IProgressWindow* w = ProgressWindow()) w->SetStatusText(text);
}

void CProgressViewBase::SetProgressStep(int step) {
    if (IProgressWindow* w = ProgressWindow()) w->SetStep(step);
}

void CProgressViewBase::SetProgressAutoStep(int flag) {
    if (IProgressWindow* w = ProgressWindow()) w->SetAutoStep(flag);
}

void CProgressViewBase::DisableProgressCancel() {
    if (IProgressWindow* w = ProgressWindow()) w->EnableCancel(0);
}

bool CProgressViewBase::ProgressCancelOffered() const {
    const IProgressWindow* w = ProgressWindow();
    return w && w->IsCancelEnabled();
}

void CProgressViewBase::PressProgressCancel() {
    if (IProgressWindow* w = ProgressWindow()) w->CancelIfOffered();
}
