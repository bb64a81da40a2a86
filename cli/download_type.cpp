#include "cli/download_type.h"

#include <cctype>
#include <cstdlib>
#include <vector>

#include "engine/result_codes.h"

namespace rtq::cli {

namespace {

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

DownloadKind KindOfShortName(const std::string& text) {
    struct Row {
        const char* name;
        DownloadKind kind;
    };
    constexpr Row kShortNames[] = {
        {"main", DownloadKind::MainFirmware}, {"ipl", DownloadKind::IplFirmware},
        {"font", DownloadKind::Font},         {"pin", DownloadKind::PinCode},
        {"name", DownloadKind::FriendlyName},
    };
    for (const Row& row : kShortNames)
        if (SameText(text, row.name)) return row.kind;
    return DownloadKind::None;
}

}  // namespace

int ResolveDownloadType(const std::string& text, bool bluetooth, DownloadType* out) {
    std::vector<std::string> fields;
    std::vector<int> starts;
    if (!SplitModelTable(kModelTable, 1, &fields, &starts) || starts.empty())
        return kResultBadDownloadType;
    const DownloadKind shortKind = KindOfShortName(text);
    // The fields after the model name come in threes: name, letter, sector.
    for (size_t i = static_cast<size_t>(starts[0]) + 1; i + 2 < fields.size(); i += 3) {
        const DownloadKind kind = KindFromLetter(fields[i + 1]);
        const bool match = shortKind != DownloadKind::None ? kind == shortKind
                                                           : SameText(text, fields[i]);
        if (!match) continue;
        if (kind == DownloadKind::None) return kResultBadDownloadType;
        if (bluetooth && kind == DownloadKind::IplFirmware) return kResultBadDownloadType;
        out->displayName = fields[i];
        out->kind = kind;
        out->firstSector = static_cast<int32_t>(std::strtol(fields[i + 2].c_str(), nullptr, 10));
        return kResultSuccess;
    }
    return kResultBadDownloadType;
}

}  // namespace rtq::cli
