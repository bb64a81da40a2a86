// Choosing the data file: the filter per type, the refusals, the folder
// the file dialog opens in, the file dialog's result and an unreadable file.

#include <fstream>
#include <functional>
#include <string>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "tests/ui/dialog_access.h"
#include "tests/ui/dialog_fixture.h"
#include "tests/ui/modal_catcher.h"
#include "ui/browse_folder.h"
#include "ui/file_filters.h"
#include "ui/flash_dlg.h"

using rtq::test::Choose;
using rtq::test::ModalCatcher;
using rtq::test::Press;

namespace {

// A dialog whose file opening can be made to fail (root opens everything).
class FailingOpenDlg : public CFlashDlg {
public:
    bool failOpen = false;
    // The path the run opens.
    std::string RunPath() const { return DataFilePath(); }

protected:
    bool TryOpenDataFile(const QString& path, QString* errorText) override {
        if (!failOpen) return CFlashDlg::TryOpenDataFile(path, errorText);
        *errorText = path + QStringLiteral("\nPermission denied");
        return false;
    }
};

std::unique_ptr<FailingOpenDlg> SerialDialog() {
    auto dlg = std::make_unique<FailingOpenDlg>();
    if (dlg->ParseModelTable() != 0 || dlg->SelectModel() != 1) return nullptr;
    dlg->setWindowModality(Qt::ApplicationModal);
    dlg->show();
    Press(dlg->Control(1041));
    return dlg;
}

// The operator picks a file and confirms. selectFile alone leaves the name
// box alone once the box has the keyboard, and the dialog then has nothing
// to accept; the name is typed into the box as well.
void PickAndAccept(QFileDialog* fd, const QString& path) {
    fd->selectFile(path);
    auto* name = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    name->setText(path);
    static_cast<QDialog*>(fd)->accept();
}

void WriteFile(const QString& path) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("MB01");
}

}  // namespace

class FlashDlgBrowseTest : public QObject {
    Q_OBJECT

private slots:
    void filterPerType_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("filter");
        QTest::newRow("main") << "MAIN FIRMWARE" << "Main Firmware Files (*.mfw *.MFW)";
        QTest::newRow("ipl") << "IPL FIRMWARE" << "IPL Program Files (*.ipl *.IPL)";
        QTest::newRow("cg") << "CG FONT" << "US & EU Font Files (*.bin *.BIN)";
        QTest::newRow("chinese") << "Chinese Font" << "Chinese Font Files (*.bin *.BIN)";
        QTest::newRow("pin") << "PIN CODE" << "BlueTooth PIN Code (*.pin *.PIN)";
        QTest::newRow("lower case") << "main firmware" << "Main Firmware Files (*.mfw *.MFW)";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("friendly") << "FRIENDLY NAME" << "";
        // Without a space the key is the first character alone.
        QTest::newRow("no space") << "MAIN" << "";
        QTest::newRow("single letter") << "I" << "";
    }

    void filterPerType() {
        QFETCH(QString, type);
        QFETCH(QString, filter);
        QString got;
        QCOMPARE(FileFilterForType(type, &got), !filter.isEmpty());
        if (!filter.isEmpty()) QCOMPARE(got, filter);
    }

    void browseRefusesWithoutAFileType() {
        auto dlg = SerialDialog();
        QVERIFY(dlg);
        ModalCatcher catcher;
        bool fileDialogOpened = false;
        catcher.onOtherModal = [&](QWidget* w) {
            fileDialogOpened = true;
            static_cast<QDialog*>(w)->reject();
        };
        Press(FlashDlgTestAccess::m_btnBrowse(*dlg));
        // With FRIENDLY NAME chosen Browse is off and no click reaches it;
        // the handler's own refusal is called directly.
        Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("FRIENDLY NAME"));
        QVERIFY(!FlashDlgTestAccess::m_btnBrowse(*dlg)->isEnabled());
        dlg->OnBrowse();
        QVERIFY(!fileDialogOpened);
        QCOMPARE(catcher.boxes.size(), size_t(2));
        QCOMPARE(catcher.boxes[0].text, QStringLiteral("Please determine the download type!"));
        QCOMPARE(catcher.boxes[1].text, QStringLiteral("Please select a correct download type!"));
        for (const auto& box : catcher.boxes) {
            QCOMPARE(box.icon, QMessageBox::Critical);
            QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
            QCOMPARE(box.parent, static_cast<QWidget*>(dlg.get()));
        }
    }

    void aChosenFileIsShownByName() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("FIRMWARE.MFW"));
        WriteFile(path);
        auto dlg = SerialDialog();
        QVERIFY(dlg);
        Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("MAIN FIRMWARE"));
        ModalCatcher catcher;
        QStringList filters;
        catcher.onOtherModal = [&](QWidget* w) {
            auto* fd = qobject_cast<QFileDialog*>(w);
            QVERIFY(fd);
            filters = fd->nameFilters();
            QCOMPARE(fd->fileMode(), QFileDialog::ExistingFile);
            QCOMPARE(fd->acceptMode(), QFileDialog::AcceptOpen);
            QCOMPARE(fd->parentWidget(), static_cast<QWidget*>(dlg.get()));
            PickAndAccept(fd, path);
        };
        Press(FlashDlgTestAccess::m_btnBrowse(*dlg));
        QCOMPARE(filters, QStringList({"Main Firmware Files (*.mfw *.MFW)"}));
        QCOMPARE(FlashDlgTestAccess::m_strFilePath(*dlg), path);
        QCOMPARE(FlashDlgTestAccess::m_strFileName(*dlg), QStringLiteral("FIRMWARE.MFW"));
        QCOMPARE(FlashDlgTestAccess::m_editFile(*dlg)->text(), QStringLiteral("FIRMWARE.MFW"));
        QVERIFY(catcher.boxes.empty());

        // Cancelled the next time: the choice stays.
        catcher.onOtherModal = [](QWidget* w) { static_cast<QDialog*>(w)->reject(); };
        Press(FlashDlgTestAccess::m_btnBrowse(*dlg));
        QCOMPARE(FlashDlgTestAccess::m_strFilePath(*dlg), path);
        QCOMPARE(FlashDlgTestAccess::m_editFile(*dlg)->text(), QStringLiteral("FIRMWARE.MFW"));

        // A name beyond ASCII is shown as it was chosen, the run opens that
        // file, and the next Browse opens in its folder.
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral(u"B\u00fcro")));
        const QString other = dir.filePath(QStringLiteral(u"B\u00fcro/Firmware-\u00e4\u4e2d.mfw"));
        WriteFile(other);
        QStringList opened;
        catcher.onOtherModal = [&](QWidget* w) {
            auto* fd = qobject_cast<QFileDialog*>(w);
            QVERIFY(fd);
            opened << fd->directory().absolutePath();
            if (opened.size() == 1) {
                PickAndAccept(fd, other);
            } else {
                fd->reject();
            }
        };
        Press(FlashDlgTestAccess::m_btnBrowse(*dlg));
        QCOMPARE(FlashDlgTestAccess::m_editFile(*dlg)->text(), QStringLiteral(u"Firmware-\u00e4\u4e2d.mfw"));
        std::ifstream file(dlg->RunPath(), std::ios::binary);
        std::string content;
        QVERIFY(std::getline(file, content));
        QCOMPARE(QString::fromStdString(content), QStringLiteral("MB01"));
        Press(FlashDlgTestAccess::m_btnBrowse(*dlg));
        QCOMPARE(opened.size(), qsizetype(2));
        QCOMPARE(opened[1], QFileInfo(other).absolutePath());
    }

    void anUnreadableFileKeepsThePreviousChoice() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString first = dir.filePath(QStringLiteral("first.ipl"));
        const QString second = dir.filePath(QStringLiteral("second.ipl"));
        WriteFile(first);
        WriteFile(second);
        auto dlg = SerialDialog();
        QVERIFY(dlg);
        Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("IPL FIRMWARE"));
        ModalCatcher catcher;
        QString pick = first;
        catcher.onOtherModal = [&](QWidget* w) {
            auto* fd = qobject_cast<QFileDialog*>(w);
            QVERIFY(fd);
            PickAndAccept(fd, pick);
        };
        Press(FlashDlgTestAccess::m_btnBrowse(*dlg));
        QCOMPARE(FlashDlgTestAccess::m_strFilePath(*dlg), first);

        dlg->failOpen = true;
        pick = second;
        Press(FlashDlgTestAccess::m_btnBrowse(*dlg));
        QCOMPARE(catcher.boxes.size(), size_t(1));
        QCOMPARE(catcher.boxes[0].text, second + QStringLiteral("\nPermission denied"));
        QCOMPARE(catcher.boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(FlashDlgTestAccess::m_strFilePath(*dlg), first);
        QCOMPARE(FlashDlgTestAccess::m_editFile(*dlg)->text(), QStringLiteral("first.ipl"));
    }

    void startFolderIsTheFilesThenTheLastBrowsedThenTheWorkingFolder() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("files")));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("other")));
        const QString files = dir.filePath(QStringLiteral("files"));
        const QString other = dir.filePath(QStringLiteral("other"));
        const QString here = QDir::currentPath();
        QCOMPARE(BrowseStartFolder(QString(), QString()), here);
        QCOMPARE(BrowseStartFolder(QString(), other), other);
        QCOMPARE(BrowseStartFolder(files + QStringLiteral("/a.bin"), other), files);
        // Folders that went away are passed over.
        QCOMPARE(BrowseStartFolder(dir.filePath(QStringLiteral("gone/a.bin")), other), other);
        QCOMPARE(BrowseStartFolder(QString(), dir.filePath(QStringLiteral("gone"))), here);

        // Through the dialog: working folder, then the chosen file's folder;
        // once the type change forgot the file, where the dialog was left.
        const QString font = files + QStringLiteral("/font.bin");
        WriteFile(font);
        auto dlg = SerialDialog();
        QVERIFY(dlg);
        Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("CG FONT"));
        ModalCatcher catcher;
        QStringList opened;
        std::function<void(QFileDialog*)> act;
        catcher.onOtherModal = [&](QWidget* w) {
            auto* fd = qobject_cast<QFileDialog*>(w);
            QVERIFY(fd);
            opened << fd->directory().absolutePath();
            act(fd);
        };
        act = [&](QFileDialog* fd) {
            PickAndAccept(fd, font);
        };
        Press(FlashDlgTestAccess::m_btnBrowse(*dlg));
        QCOMPARE(FlashDlgTestAccess::m_strFilePath(*dlg), font);
        act = [](QFileDialog* fd) { static_cast<QDialog*>(fd)->reject(); };
        Press(FlashDlgTestAccess::m_btnBrowse(*dlg));
        Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("MAIN FIRMWARE"));
        QVERIFY(FlashDlgTestAccess::m_strFilePath(*dlg).isEmpty());
        act = [&](QFileDialog* fd) {
            fd->setDirectory(other);
            static_cast<QDialog*>(fd)->reject();
        };
        Press(FlashDlgTestAccess::m_btnBrowse(*dlg));
        act = [](QFileDialog* fd) { static_cast<QDialog*>(fd)->reject(); };
        Press(FlashDlgTestAccess::m_btnBrowse(*dlg));
        QCOMPARE(opened, QStringList({here, files, files, other}));
    }

    void theRealOpenReportsTheSystemsText() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString error;
        struct Probe : CFlashDlg {
            using CFlashDlg::TryOpenDataFile;
        };
        Probe probe;
        const QString missing = dir.filePath(QStringLiteral("gone.bin"));
        QVERIFY(!probe.TryOpenDataFile(missing, &error));
        QVERIFY2(error.startsWith(missing + QLatin1Char('\n')), qPrintable(error));
        QVERIFY(error.size() > missing.size() + 1);
        const QString there = dir.filePath(QStringLiteral("there.bin"));
        WriteFile(there);
        QVERIFY(probe.TryOpenDataFile(there, &error));
    }
};

QTEST_MAIN(FlashDlgBrowseTest)
#include "flash_dlg_browse_test.moc"
