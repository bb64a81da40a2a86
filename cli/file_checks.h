#pragma once
// The data-file checks made before a run: the name's extension, the
// identification tags and the length rules.

#include <cstdint>
#include <string>
#include <vector>

#include "cli/download_type.h"

namespace rtq::cli {

// The file name without its folder.
std::string BaseName(const std::string& path);

// The extension rule on the file's name: 1 or 1020.
int CheckFileName(const std::string& path, const DownloadType& type);
// The tags and the length rules: 1, 1007 (cannot be opened), 1042 or 1020.
// The sector plan is stored when the file passes.
int CheckFileContents(const std::string& path, const DownloadType& type,
                      std::vector<int32_t>* plan);

}  // namespace rtq::cli
