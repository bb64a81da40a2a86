#pragma once
// A Bluetooth printer named by its device address, as a port name:
// "00:AA:01:01:00:01", or with its RFCOMM channel "00:AA:01:01:00:01/3".
// Without a channel the printer's own service directory is asked which
// channel its serial port service is on.

#include <array>
#include <cstdint>
#include <string>

namespace rtq {

// No channel named: ask the printer.
inline constexpr uint8_t kLookUpChannel = 0;

struct BluetoothTarget {
    std::array<uint8_t, 6> address{};  // in the order the text shows it
    uint8_t channel = kLookUpChannel;
};

// False unless text is an address (hex pairs, either case, colons between)
// with an optional "/N" channel of 1 to 30 and nothing else.
bool ParseBluetoothTarget(const std::string& text, BluetoothTarget* out);
bool IsBluetoothTarget(const std::string& text);

// "00:AA:01:01:00:01" in capitals.
std::string BluetoothAddressText(const std::array<uint8_t, 6>& address);

}  // namespace rtq
