#include "ui/browse_folder.h"

#include <QDir>
#include <QFileInfo>

QString BrowseStartFolder(const QString& filePath, const QString& lastBrowsedFolder) {
    if (!filePath.isEmpty()) {
        const QString folder = QFileInfo(filePath).absolutePath();
        if (QFileInfo(folder).isDir()) return folder;
    }
    if (!lastBrowsedFolder.isEmpty() && QFileInfo(lastBrowsedFolder).isDir())
        return QFileInfo(lastBrowsedFolder).absoluteFilePath();
    return QDir::currentPath();
}
