#include "ui/file_filters.h"

namespace {

struct FilterRow {
    const char* key;
    const char* description;
    const char* extension;
};

constexpr FilterRow kFilters[] = {
    {"IPL", "IPL Program Files", "ipl"},
    {"MAIN", "Main Firmware Files", "mfw"},
    {"CG", "US & EU Font Files", "bin"},
    {"CHINESE", "Chinese Font Files", "bin"},
    {"PIN", "BlueTooth PIN Code", "pin"},
};

}  // namespace

QString DownloadTypeKey(const QString& typeText) {
    const qsizetype space = typeText.indexOf(QLatin1Char(' '));
    if (space < 0) return typeText.left(1);
    return typeText.left(space);
}

bool FileFilterForType(const QString& typeText, QString* filter) {
    const QString key = DownloadTypeKey(typeText);
    for (const FilterRow& row : kFilters) {
        if (key.compare(QLatin1String(row.key), Qt::CaseInsensitive) != 0) continue;
        const QString ext = QLatin1String(row.extension);
        *filter = QStringLiteral("%1 (*.%2 *.%3)")
                      .arg(QLatin1String(row.description), ext, ext.toUpper());
        return true;
    }
    return false;
}
