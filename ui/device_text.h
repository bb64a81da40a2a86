#pragma once
// Texts between the dialog and the core. The core works on byte strings
// and its character rules are byte rules (the friendly name must be bytes
// 0x20..0x7E, the PIN code bytes below 0x80). Box texts go to the core as
// UTF-8, so every character outside 7-bit ASCII becomes bytes of 0x80 and
// above and is refused by both rules; nothing is silently replaced.

#include <string>

#include <QString>

std::string ToDeviceText(const QString& text);
// UTF-8 when the bytes are valid UTF-8, otherwise one character per byte
// (so a lone 0xE9 shows as the character U+00E9).
QString FromDeviceText(const std::string& bytes);
