#pragma once
// Error numbers the shared code tells apart that not every C library
// defines (Windows' has no ENOKEY or EHOSTDOWN). Where the system lacks
// one, a value no system call there gives stands in for it.

#include <cerrno>

namespace rtq {

#ifdef ENOKEY
inline constexpr int kErrnoNoKey = ENOKEY;  // no link key: not paired
#else
inline constexpr int kErrnoNoKey = 20001;
#endif

#ifdef EHOSTDOWN
inline constexpr int kErrnoHostDown = EHOSTDOWN;  // paired, out of reach
#else
inline constexpr int kErrnoHostDown = 20002;
#endif

}  // namespace rtq
