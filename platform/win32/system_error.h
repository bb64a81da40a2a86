#pragma once
// GetLastError codes as the last-error record keeps them: the system's
// own text (FormatMessageA) and the errno class that picks the hint.

#include <cstdint>
#include <string>

namespace rtq {

// The system's message for a code, without its line break and full stop;
// "error N" when the system has none.
std::string SystemErrorText(uint32_t code);
// The errno value a code corresponds to, for the failure hints (EIO for
// codes with no closer match).
int ErrnoClassOf(uint32_t code);
// Stores the code's text, the given errno class and the path.
void SetLastErrorFromSystem(uint32_t code, int errnoClass, const std::string& path = {});
// The same with the code's own errno class.
void SetLastErrorFromSystem(uint32_t code, const std::string& path = {});

}  // namespace rtq
