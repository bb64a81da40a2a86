#pragma once
// The Browse button's file filter for a download type.

#include <QString>

struct FileFilter;

// The file-dialog filter for a download-type text, in the file dialog's
// "Description (*.ext *.EXT)" form (Linux names are case-sensitive, so the
// upper-case extension is listed too). False for a type that takes no file.
bool FileFilterForType(const QString& typeText, QString* filter);

// A filter row in that form.
QString QtFileFilter(const FileFilter& row);
