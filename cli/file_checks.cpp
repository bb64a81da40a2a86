#include "cli/file_checks.h"

#include "engine/data_file.h"
#include "engine/result_codes.h"
#include "engine/sector_sizes.h"
#include "engine/settings_check.h"

namespace rtq::cli {

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int CheckFileName(const std::string& path, const DownloadType& type) {
    return CheckFileExtension(BaseName(path), type.kind);
}

int CheckFileContents(const std::string& path, const DownloadType& type,
                      std::vector<int32_t>* plan) {
    const int identity = CheckFileIdentity(path, type.kind);
    if (identity != kResultSuccess) return identity;
    return CheckDataFileLength(path, type.firstSector,
                               type.kind == DownloadKind::IplFirmware, g_aSectorSizes,
                               plan);
}

}  // namespace rtq::cli
