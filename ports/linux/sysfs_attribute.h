#pragma once
// Reading a sysfs attribute of a device tree that may be odd (a test tree,
// a tampered one): never blocking on a FIFO, never reading without end.

#include <cstddef>
#include <string>

namespace rtq {

// What is read of an attribute at most; real ones are far shorter.
inline constexpr size_t kSysfsAttributeCap = 4096;
// What is kept of an attribute's first line.
inline constexpr size_t kSysfsLineCap = 256;

// The attribute's first line without trailing blanks, cut to kSysfsLineCap
// bytes; empty when it cannot be read or is not a regular file.
std::string ReadSysfsLine(const std::string& path);

}  // namespace rtq
