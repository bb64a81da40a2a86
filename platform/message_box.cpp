#include "platform/message_box.h"

#include <atomic>
#include <cstdio>

namespace rtq {

namespace {
std::atomic<StopMessageHook> g_hook{nullptr};
}

void SetStopMessageHook(StopMessageHook hook) { g_hook.store(hook); }

void ShowStopMessage(const std::string& text) {
    if (StopMessageHook hook = g_hook.load()) {
        hook(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
}

}  // namespace rtq
