#pragma once
// What the main dialog's behaviour needs from a view: controls named by
// their identifiers (dialog/control_ids.h), texts as device bytes (UTF-8),
// message boxes, and the dialog's thread. A view draws and forwards the
// operator's actions; it decides nothing.

#include <functional>
#include <string>
#include <vector>

#include "dialog/run_progress_view.h"

class IFlashDlgView : public IRunProgressView {
public:
    enum class BoxIcon { Information, Warning, Critical };

    virtual ~IFlashDlgView() = default;

    virtual void EnableControl(int id, bool enable) = 0;
    // Option buttons.
    virtual bool IsChecked(int id) const = 0;
    // Edit boxes: their text; lists: the selected item's text ("" for none).
    virtual std::string GetText(int id) const = 0;
    // Edit boxes: the new text; lists: the item of that text is selected,
    // if there is one (otherwise the selection stays).
    virtual void SetText(int id, const std::string& text) = 0;
    // Lists: the items replaced, none selected.
    virtual void FillList(int id, const std::vector<std::string>& items) = 0;
    virtual int SelectedIndex(int id) const = 0;
    // -1 selects none; an index past the end selects none.
    virtual void SelectIndex(int id, int index) = 0;
    virtual void RemoveItem(int id, int index) = 0;
    // Lists: the tip one item shows (a view without item tips ignores it).
    virtual void SetItemTip(int /*id*/, int /*index*/, const std::string& /*tip*/) {}
    virtual void SetFocus(int id) = 0;
    // Edit boxes: how many characters the operator may type.
    virtual void SetTextLimit(int id, int limit) = 0;

    // A box with the application name as caption, waiting for OK. The hint
    // (cause and remedy, may be empty) goes under the text.
    virtual void ShowBox(const std::string& text, BoxIcon icon, const std::string& hint) = 0;

    // While suppressed no box waits for the operator (its text is only
    // logged); CloseBoxes closes the boxes open now.
    virtual void SuppressBoxes(bool suppress) = 0;
    virtual void CloseBoxes() = 0;

    // The dialog ends with this code.
    virtual void EndDialog(int code) = 0;

    // The progress window over the dialog: IRunProgressView.

    // The thread that owns the controls; a call from another thread runs
    // there and is waited for (false when the dialog went first).
    virtual bool OnDialogThread() const = 0;
    virtual bool CallOnDialogThread(std::function<void()> fn) = 0;
    // Queued for the dialog's thread, not waited for.
    virtual void PostToDialogThread(std::function<void()> fn) = 0;
};
