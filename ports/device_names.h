#pragma once
// COM port names. On Linux: COM1-16 = ttyS0-15, COM17-32 = ttyUSB0-15,
// COM33-48 = ttyACM0-15, COM49-64 = rfcomm0-15, under the device folder
// (RTQFLASH_DEVICE_ROOT, default /dev). On Windows the system's own
// device "\\.\COMn".

#include <string>

namespace rtq {

inline constexpr int kLastComPort = 64;

// The port list's names are "COM1" to "COM64". A name is read, with or
// without the "\\.\" prefix and in any case, as:
//   n (1..64)  "COMn" written as the list writes it;
//   -1         "COM" and digits that name no list entry ("COM0", "COM65",
//              "COM05"): an illegal port, never a device path;
//   0          anything else, a device path.
int ComPortNumber(const std::string& name);
// "COMn".
std::string ComPortName(int number);

// The device folder in force.
std::string DeviceRoot();
// "COMn" or "\\.\COMn" (n 1..64) to its device path; any other name is
// returned unchanged (a device path given directly).
std::string DevicePathForPort(const std::string& name);
// Whether the device of a port name exists.
bool PortDevicePresent(const std::string& name);

}  // namespace rtq
