#pragma once
// Waits the download procedures share.

#include <cstdint>

// Read time-out while the printer erases or writes a sector, or checks it.
constexpr uint32_t kLongReadTimeoutMs = 60000;
// Pause after the last command (the reset, or a Bluetooth setting) before
// the run ends, while the printer takes it in.
constexpr int kFinalWaitSeconds = 5;
