#include "ports/bluetooth_address.h"

namespace rtq {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool ParseBluetoothTarget(const std::string& text, BluetoothTarget* out) {
    // "XX:XX:XX:XX:XX:XX" is 17 characters.
    if (text.size() < 17) return false;
    BluetoothTarget t;
    for (size_t i = 0; i < 6; ++i) {
        const size_t at = i * 3;
        const int hi = HexDigit(text[at]);
        const int lo = HexDigit(text[at + 1]);
        if (hi < 0 || lo < 0) return false;
        if (i < 5 && text[at + 2] != ':') return false;
        t.address[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    if (text.size() > 17) {
        // RFCOMM channels run from 1 to 30.
        if (text[17] != '/' || text.size() < 19 || text.size() > 20) return false;
        int channel = 0;
        for (size_t i = 18; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            channel = channel * 10 + (text[i] - '0');
        }
        if (text[18] == '0' || channel < 1 || channel > 30) return false;
        t.channel = static_cast<uint8_t>(channel);
    }
    if (out) *out = t;
    return true;
}

bool IsBluetoothTarget(const std::string& text) { return ParseBluetoothTarget(text, nullptr); }

std::string BluetoothAddressText(const std::array<uint8_t, 6>& address) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < address.size(); ++i) {
        if (i) s += ':';
        s += kHex[address[i] >> 4];
        s += kHex[address[i] & 15];
    }
    return s;
}

}  // namespace rtq
