#include "ui/file_filters.h"

#include "dialog/file_filters.h"

bool FileFilterForType(const QString& typeText, QString* filter) {
    const FileFilter* row = FileFilterOfType(typeText.toStdString());
    if (!row) return false;
    *filter = QtFileFilter(*row);
    return true;
}

QString QtFileFilter(const FileFilter& row) {
    const QString ext = QLatin1String(row.extension);
    return QStringLiteral("%1 (*.%2 *.%3)").arg(QLatin1String(row.description), ext, ext.toUpper());
}
