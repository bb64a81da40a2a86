#pragma once
// The one message the core may show itself (the downloader's "Error:
// Insufficient memory"). The GUI installs a hook that shows a stop box;
// until then the text goes to stderr.

#include <string>

namespace rtq {

using StopMessageHook = void (*)(const std::string& text);

void SetStopMessageHook(StopMessageHook hook);  // nullptr: stderr
void ShowStopMessage(const std::string& text);

}  // namespace rtq
