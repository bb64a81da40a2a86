// The engine's one stop message, shown as a box over the Qt dialog.

#include <atomic>
#include <cstdio>

#include "platform/message_box.h"
#include "ui/device_text.h"
#include "ui/flash_dlg.h"
#include "ui/gui_call_queue.h"
#include "ui/message_boxes.h"

namespace {

std::atomic<CFlashDlg*> g_stopMessageOwner{nullptr};

void ShowEngineStopMessage(const std::string& text) {
    CFlashDlg* dlg = g_stopMessageOwner.load();
    if (!dlg) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return;
    }
    const QString message = FromDeviceText(text);
    dlg->GuiCalls().Call([dlg, message] { ShowMessageBox(dlg, message, QMessageBox::Critical); });
}

}  // namespace

void CFlashDlg::InstallStopMessageHook() {
    g_stopMessageOwner.store(this);
    rtq::SetStopMessageHook(&ShowEngineStopMessage);
}

void CFlashDlg::RemoveStopMessageHook() {
    CFlashDlg* self = this;
    if (g_stopMessageOwner.compare_exchange_strong(self, nullptr)) rtq::SetStopMessageHook(nullptr);
}
