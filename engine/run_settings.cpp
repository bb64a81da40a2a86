#include "engine/run_settings.h"

std::string g_strPinCode;
std::string g_strFriendlyName;
std::atomic<int> g_bPinCodeRun{0};
std::atomic<int> g_bFriendlyNameRun{0};
