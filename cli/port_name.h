#pragma once
// The --port text: "COM1" to "COM64" (handed over as the dialog does, as
// "\\.\COMn") or a device path. COM names follow ports/device_names.

#include <string>

namespace rtq::cli {

// 1 or 1013 (empty, or a COM name that is no entry of COM1 to COM64).
int ResolvePort(const std::string& text, std::string* devicePath);

}  // namespace rtq::cli
