#pragma once
// Saving the simulated flash for scripts that compare it with a data file.

#include <string>

#include "sim/sim_printer.h"

namespace rtq::sim {

// Writes the image to a new temporary file beside path (a name nobody can
// guess, created exclusively, never through a link), syncs it and renames
// it over path, so a reader never sees half an image. Only a regular file
// at path is replaced: a symbolic link, a device or a folder there is
// refused. False with the reason on failure.
bool SaveFlashAtomically(const SimPrinter& printer, const std::string& path,
                         std::string* error);

}  // namespace rtq::sim
