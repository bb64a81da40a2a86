#pragma once
// Text from outside (file names, --name and --pin values, device names and
// strings a USB device reports) on its way to a terminal or a script: no
// control character may reach the terminal or start a line of its own.

#include <string>
#include <string_view>

namespace rtq::cli {

// Control characters (C0, DEL and the C1 range) as \n, \r, \t, \xNN or
// \u00NN; bytes that are not UTF-8 as \xNN; a backslash as \\, so that an
// escape never reads the same as the text it stands for. Other valid
// UTF-8 passes unchanged.
std::string EscapeText(std::string_view text);

// For a JSON string, which escapes control characters itself but must be
// UTF-8: only the bytes that are not UTF-8 become \xNN, and a backslash
// becomes \\ for the same reason as above.
std::string Utf8OrEscaped(std::string_view text);

}  // namespace rtq::cli
