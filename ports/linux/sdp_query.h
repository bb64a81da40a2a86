#pragma once
// The RFCOMM channel a Bluetooth device serves its serial port on, asked of
// the device's own service directory (SDP over L2CAP) before connecting.
// Printers need not use channel 1.

#include <array>
#include <cstdint>

#include "ports/linux/device_syscalls.h"

namespace rtq {

// 0 with *channel set, else the errno that says why: the connect's own
// reason when the directory cannot be reached (EHOSTDOWN out of reach,
// ETIMEDOUT past endMs), EPROTONOSUPPORT when the device offers no serial
// port service on RFCOMM, EINTR when a signal ended the wait for the
// answer. The answer is awaited at most 20 s more (the library's own
// bound).
// The connect is awaited through sys.
int QuerySerialPortChannel(DeviceSyscalls& sys, const std::array<uint8_t, 6>& address,
                           int64_t endMs, uint8_t* channel);

}  // namespace rtq
