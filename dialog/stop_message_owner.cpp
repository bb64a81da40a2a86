#include "dialog/stop_message_owner.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "dialog/flash_dlg_view.h"
#include "platform/message_box.h"

namespace {

std::atomic<IFlashDlgView*> g_owner{nullptr};

void ShowStopMessage(const std::string& text) {
    IFlashDlgView* view = g_owner.load();
    if (!view) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return;
    }
    view->CallOnDialogThread([view, text] { view->ShowBox(text, IFlashDlgView::BoxIcon::Critical, {}); });
}

}  // namespace

CStopMessageOwner::CStopMessageOwner(IFlashDlgView& view) : m_pView(&view) {
    g_owner.store(m_pView);
    rtq::SetStopMessageHook(&ShowStopMessage);
}

CStopMessageOwner::~CStopMessageOwner() {
    IFlashDlgView* self = m_pView;
    if (g_owner.compare_exchange_strong(self, nullptr)) rtq::SetStopMessageHook(nullptr);
}
