#include "dialog/file_filters.h"

#include "dialog/no_case.h"

namespace {

struct FilterRow {
    const char* key;
    FileFilter filter;
};

constexpr FilterRow kFilters[] = {
    {"IPL", {"IPL Program Files", "ipl"}},
    {"MAIN", {"Main Firmware Files", "mfw"}},
    {"CG", {"US & EU Font Files", "bin"}},
    {"CHINESE", {"Chinese Font Files", "bin"}},
    {"PIN", {"BlueTooth PIN Code", "pin"}},
};

}  // namespace

std::string DownloadTypeKey(const std::string& typeText) {
    const auto space = typeText.find(' ');
    if (space == std::string::npos) return typeText.substr(0, 1);
    return typeText.substr(0, space);
}

const FileFilter* FileFilterOfType(const std::string& typeText) {
    const std::string key = DownloadTypeKey(typeText);
    for (const FilterRow& row : kFilters)
        if (EqualsNoCase(key, row.key)) return &row.filter;
    return nullptr;
}
