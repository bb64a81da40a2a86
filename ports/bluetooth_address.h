#pragma once
// A Bluetooth printer named by its device address, as a port name:
// "00:AA:01:01:00:01", or with its RFCOMM channel "00:AA:01:01:00:01/3".
// Without a channel the printer's serial port service is taken to be on
// channel 1, where these printers announce it.

#include <array>
#include <cstdint>
#include <string>

namespace rtq {

struct BluetoothTarget {
    std::array<uint8_t, 6> address{};  // in the order the text shows it
    uint8_t channel = 1;
};

constexpr uint8_t kDefaultRfcommChannel = 1;

// False unless text is an address (hex pairs, either case, colons between)
// with an optional "/N" channel of 1 to 30 and nothing else.
bool ParseBluetoothTarget(const std::string& text, BluetoothTarget* out);
bool IsBluetoothTarget(const std::string& text);

// "00:AA:01:01:00:01" in capitals.
std::string BluetoothAddressText(const std::array<uint8_t, 6>& address);

}  // namespace rtq
