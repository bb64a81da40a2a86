#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/download_type.h"
#include "cli/file_checks.h"
#include "cli/text_escape.h"
#include "engine/data_file.h"
#include "engine/result_codes.h"
#include "engine/sector_sizes.h"

namespace rtq::cli {

namespace {

std::string Hex(int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%06llX", static_cast<unsigned long long>(value));
    return text;
}

void PrintPlan(std::ostream& out, const DownloadType& type, const std::string& path,
               const std::vector<int32_t>& plan) {
    const bool ipl = type.kind == DownloadKind::IplFirmware;
    out << type.displayName << ": " << EscapeText(path) << ", " << FileLength(path) << " bytes, "
        << plan.size() << (plan.size() == 1 ? " sector" : " sectors") << "\n";
    int64_t offset = ipl ? kIplSkippedBytes : 0;
    for (int32_t s : plan) {
        const int32_t size = g_aSectorSizes[s];
        const int64_t address = SectorAddress(s, g_aSectorSizes);
        out << "sector " << s << ": flash " << Hex(address) << "-" << Hex(address + size - 1)
            << " from file " << Hex(offset) << "-" << Hex(offset + size - 1) << "\n";
        offset += size;
    }
    if (ipl) {
        out << "order: sector " << plan[1] << " (no erase, no checksum), printer restart, "
            << "sector " << plan[0] << "\n";
        return;
    }
    out << "order: erase sector " << plan.front() << ", then sector";
    for (auto it = plan.rbegin(); it != plan.rend(); ++it) out << " " << *it;
    out << "\n";
}

}  // namespace

int RunCheck(const CliOptions& o, std::ostream& out, std::ostream& err, std::string* checked) {
    DownloadType type;
    int r = ResolveDownloadType(o.type, false, &type);
    if (r != kResultSuccess) return r;
    if (!IsFileKind(type.kind)) {
        err << "rtqflash-cli: " << type.displayName
            << " has no data file to check; check takes main, ipl or font\n";
        return kCheckNothingToCheck;
    }
    if ((r = CheckFileName(o.file, type)) != kResultSuccess) return r;
    std::vector<int32_t> plan;
    if ((r = CheckFileContents(o.file, type, &plan)) != kResultSuccess) return r;
    PrintPlan(out, type, o.file, plan);
    *checked = type.displayName + " data file checked, fit for its sectors; nothing was written";
    return kResultSuccess;
}

}  // namespace rtq::cli
