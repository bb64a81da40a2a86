// How the engine and the worker threads reach the dialog: messages run on
// the dialog's thread (sent ones are waited for), the USB reply event, the
// Bluetooth button's state, and the engine's one stop message.

#include <atomic>
#include <cstdio>

#include "platform/message_box.h"
#include "ui/device_text.h"
#include "ui/flash_dlg.h"
#include "ui/gui_call_queue.h"
#include "ui/message_boxes.h"

LRESULT CFlashDlg::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    // On the dialog's own thread the call is direct; a queued call that
    // waited for this thread would wait for ever.
    if (m_pCalls->OnOwnerThread()) return OnWorkerMessage(msg, wParam, lParam);
    LRESULT result = 0;
    m_pCalls->Call([&] { result = OnWorkerMessage(msg, wParam, lParam); });
    return result;
}

void CFlashDlg::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    m_pCalls->Post([this, msg, wParam, lParam] { OnWorkerMessage(msg, wParam, lParam); });
}

void CFlashDlg::ResetReceivedUSB() { m_run.m_usbReplies.m_hEventRecvUSB.Reset(); }

void CFlashDlg::SignalReceivedUSB() { m_run.m_usbReplies.m_hEventRecvUSB.Set(); }

bool CFlashDlg::WaitReceivedUSB(int64_t timeoutMs) { return m_run.m_usbReplies.m_hEventRecvUSB.Wait(timeoutMs); }

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
