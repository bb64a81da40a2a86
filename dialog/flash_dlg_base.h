#pragma once
// What every view of the main dialog does alike, whatever its toolkit: the
// dialog's thread reached through its call queue, the chosen data file,
// the engine's stop message shown while the dialog lives, and the dialog
// as the notify window of the ports. A view derives from this class and
// draws its toolkit's controls.

#include <functional>
#include <memory>
#include <string>

#include "dialog/flash_dlg_core.h"
#include "dialog/progress_view.h"
#include "dialog/stop_message_owner.h"
#include "platform/call_queue.h"

class CFlashDlgBase : protected CProgressViewBase, public CFlashDlgCore {
    // Tests look inside.
    friend struct FlashDlgTestAccess;

protected:
    CFlashDlgBase();
    ~CFlashDlgBase() override;

    // The view is built: from here on the dialog's thread is reached through
    // calls (a queue the view drains on that thread), the ports notify this
    // dialog and the engine's stop message is shown by it.
    void Attach(rtq::CallQueue& calls);
    // The dialog goes while its view still lives: workers' calls return at
    // once from here on, so that waiting for their end cannot deadlock;
    // then the run is released and the stop message and the ports let go.
    void Detach();

    // A file the operator chose: its path as the file system takes it and
    // its name as the file box shows it (UTF-8).
    void SetDataFile(const std::string& path, const std::string& name);
    // The file box shows the chosen file's name ("" once forgotten).
    void ShowDataFile();

    bool OnDialogThread() const override;
    bool CallOnDialogThread(std::function<void()> fn) override;
    void PostToDialogThread(std::function<void()> fn) override;
    void ForgetDataFile() override;
    std::string DataFilePath() const override;

private:
    rtq::CallQueue* m_pCalls = nullptr;
    std::unique_ptr<CStopMessageOwner> m_pStopMessages;
    std::string m_strFileName = "BINARY FILE";
    std::string m_strFilePath;
};
