#pragma once
// Saving the simulated flash for scripts that compare it with a data file.

#include <string>

#include "sim/sim_printer.h"

namespace rtq::sim {

// Writes the image through a temporary file and a rename, so a reader
// never sees half an image. False with the reason on failure.
bool SaveFlashAtomically(const SimPrinter& printer, const std::string& path,
                         std::string* error);

}  // namespace rtq::sim
