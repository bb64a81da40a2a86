#pragma once
// The Browse button's file filter for a download type.

#include <QString>

// The key of a download-type text: the text up to its first space, or its
// first character when it has no space.
QString DownloadTypeKey(const QString& typeText);

// The file-dialog filter for a download-type text, in the file dialog's
// "Description (*.ext *.EXT)" form (Linux names are case-sensitive, so the
// upper-case extension is listed too). False for a type that takes no file.
bool FileFilterForType(const QString& typeText, QString* filter);
