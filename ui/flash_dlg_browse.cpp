// Choosing the data file.

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

#include "dialog/file_filters.h"
#include "ui/browse_folder.h"
#include "ui/device_text.h"
#include "ui/file_filters.h"
#include "ui/flash_dlg.h"
#include "ui/message_boxes.h"

void CFlashDlg::OnBrowse() {
    const FileFilter* row = BrowseFilter();
    if (!row) return;
    const QString filter = QtFileFilter(*row);

    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("rtq_file_dialog"));
    // The toolkit's own dialog: the same filters and behaviour on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    dialog.setDirectory(BrowseStartFolder(QFile::decodeName(DataFilePath().c_str()), m_strLastBrowsedFolder));
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    m_strLastBrowsedFolder = dialog.directory().absolutePath();
    if (chosen) {
        const QString path = QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath();
        m_strLastBrowsedFolder = QFileInfo(path).absolutePath();
        QString error;
        if (TryOpenDataFile(path, &error)) {
            UseDataFile(path);
        } else {
            ShowMessageBox(this, error, QMessageBox::Warning);
        }
    }
    // Confirmed or not, the box shows the file chosen now.
    ShowDataFile();
}

void CFlashDlg::UseDataFile(const QString& path) {
    SetDataFile(QFile::encodeName(path).toStdString(), ToDeviceText(QFileInfo(path).fileName()));
}

bool CFlashDlg::TryOpenDataFile(const QString& path, QString* errorText) {
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) return true;
    *errorText = QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
}
