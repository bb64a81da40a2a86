#pragma once
// A private folder for the files a target writes, made on first use under
// $TMPDIR (or /tmp) and removed when the process exits normally.

#include <string>

namespace rtq::fuzz {

const std::string& ScratchFolder();

// Writes bytes to a file of the scratch folder; returns its path.
std::string WriteScratchFile(const std::string& name, const std::string& bytes);

}  // namespace rtq::fuzz
