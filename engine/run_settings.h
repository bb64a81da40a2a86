#pragma once
// Settings of the run being started, filled by the settings check on the
// user-interface thread before a worker starts and read by the workers and
// the engine while the dialog is locked.

#include <atomic>
#include <string>

extern std::string g_strPinCode;
extern std::string g_strFriendlyName;
extern std::atomic<int> g_bPinCodeRun;
extern std::atomic<int> g_bFriendlyNameRun;
