#pragma once
// Where the file dialog of Browse opens: the folder of the file in the
// file box, else the folder last browsed in this session, else the
// working folder. Folders that no longer exist are passed over.

#include <QString>

QString BrowseStartFolder(const QString& filePath, const QString& lastBrowsedFolder);
