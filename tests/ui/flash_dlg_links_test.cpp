// What the operator can do before a run: the start state, the three links
// and their enabling table, the type choice, the re-enabling after a run,
// and closing the dialog.

#include <fcntl.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "platform/messages.h"
#include "ports/port_state.h"
#include "tests/ui/dialog_fixture.h"
#include "tests/ui/modal_catcher.h"
#include "ui/flash_dlg.h"
#include "ui/port_combo_box.h"

using rtq::test::Choose;
using rtq::test::Items;
using rtq::test::KeyTo;
using rtq::test::ModalCatcher;
using rtq::test::Press;
using rtq::test::ShownDialog;

namespace {

const QStringList kAllTypes{"MAIN FIRMWARE", "IPL FIRMWARE", "CG FONT", "PIN CODE", "FRIENDLY NAME"};
const int kAllIds[] = {1041, 1042, 1044, 1012, 1013, 1014, 1015, 1016, 1017, 1018,
                       1019, 1020, 1021, 1040, 1, 100, 1030};

QList<int> EnabledIds(const CFlashDlg& dlg) {
    QList<int> ids;
    for (int id : kAllIds)
        if (dlg.Control(id)->isEnabled()) ids << id;
    std::sort(ids.begin(), ids.end());
    return ids;
}

void Click(CFlashDlg& dlg, int id) { Press(dlg.Control(id)); }

QList<int> Sorted(QList<int> ids) {
    std::sort(ids.begin(), ids.end());
    return ids;
}

}  // namespace

class FlashDlgLinksTest : public QObject {
    Q_OBJECT

private slots:
    void init() { g_bUsbLink.store(0); }

    void afterStartOnlyTheLinksAboutAndExitRespond() {
        g_bCancelled.store(1);
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        QCOMPARE(EnabledIds(*dlg), Sorted({1041, 1042, 1044, 100, 1030}));
        QVERIFY(!dlg->m_btnFlash->isEnabled());
        for (int id : {1041, 1042, 1044}) QVERIFY(!static_cast<QRadioButton*>(dlg->Control(id))->isChecked());
        QCOMPARE(g_bCancelled.load(), 0);
        QCOMPARE(g_pMainDlg.load(), static_cast<INotifyWindow*>(dlg.get()));
        QCOMPARE(dlg->m_nLastResult, -1);

        QCOMPARE(Items(dlg->m_cbType), kAllTypes);
        QCOMPARE(dlg->m_cbType->currentIndex(), -1);
        QCOMPARE(dlg->m_cbPort->count(), 0);
        QCOMPARE(dlg->m_cbBaud->currentText(), QStringLiteral("9600"));
        QCOMPARE(dlg->m_cbParity->currentText(), QStringLiteral("NONE"));
        QCOMPARE(dlg->m_cbStopBits->currentText(), QStringLiteral("1"));
        QCOMPARE(dlg->m_editDataBits->text(), QStringLiteral("8"));
        QCOMPARE(dlg->m_editDataFlow->text(), QStringLiteral("DTR / DSR"));
        QCOMPARE(dlg->m_editFile->text(), QStringLiteral("BINARY FILE"));

        // A dead button stays dead under the mouse too.
        Press(dlg->m_btnFlash);
        QVERIFY(dlg->isVisible());
    }

    void serialPortFillsThePortsAndEnablesItsSettings() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        g_bUsbLink.store(1);
        Click(*dlg, 1041);
        QCOMPARE(g_bUsbLink.load(), 0);
        QCOMPARE(dlg->m_cbPort->count(), 64);
        QCOMPARE(dlg->m_cbPort->itemText(0), QStringLiteral("COM1"));
        QCOMPARE(dlg->m_cbPort->itemText(63), QStringLiteral("COM64"));
        QCOMPARE(dlg->m_cbPort->currentIndex(), -1);
        QCOMPARE(Items(dlg->m_cbType), kAllTypes);
        QCOMPARE(dlg->m_cbType->currentIndex(), -1);
        QCOMPARE(dlg->m_cbBaud->currentText(), QStringLiteral("9600"));
        QCOMPARE(dlg->m_cbParity->currentText(), QStringLiteral("NONE"));
        QCOMPARE(dlg->m_cbStopBits->currentText(), QStringLiteral("1"));
        QCOMPARE(EnabledIds(*dlg),
                 Sorted({1041, 1042, 1044, 1012, 1013, 1014, 1015, 1016, 1017, 1020, 1, 100, 1030}));
    }

    void bluetoothDropsTheLoaderAndFixesTheLine() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        Click(*dlg, 1041);
        dlg->m_cbBaud->setCurrentIndex(3);
        Click(*dlg, 1042);
        QVERIFY(dlg->IsBluetoothChecked());
        QCOMPARE(g_bUsbLink.load(), 0);
        QCOMPARE(Items(dlg->m_cbType),
                 QStringList({"MAIN FIRMWARE", "CG FONT", "PIN CODE", "FRIENDLY NAME"}));
        QCOMPARE(dlg->m_cbType->currentIndex(), -1);
        QCOMPARE(dlg->m_cbPort->count(), 64);
        QCOMPARE(dlg->m_cbPort->currentIndex(), -1);
        QCOMPARE(dlg->m_cbBaud->currentText(), QStringLiteral("38400"));
        QCOMPARE(dlg->m_cbParity->currentText(), QStringLiteral("NONE"));
        QCOMPARE(dlg->m_cbStopBits->currentText(), QStringLiteral("1"));
        QCOMPARE(EnabledIds(*dlg), Sorted({1041, 1042, 1044, 1012, 1013, 1017, 1020, 1, 100, 1030}));
        // Clicking it again reloads the list rather than removing another type.
        Click(*dlg, 1042);
        QCOMPARE(dlg->m_cbType->count(), 4);
    }

    void usbEmptiesTheLineBoxesAndKeepsThePortList() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        Click(*dlg, 1041);
        Choose(dlg->m_cbPort, QStringLiteral("COM3"));
        Click(*dlg, 1044);
        QCOMPARE(g_bUsbLink.load(), 1);
        QCOMPARE(dlg->m_cbPort->count(), 64);
        QCOMPARE(dlg->m_cbPort->currentIndex(), -1);
        for (QComboBox* cb : {dlg->m_cbBaud, dlg->m_cbParity, dlg->m_cbStopBits}) {
            QCOMPARE(cb->currentIndex(), -1);
            QVERIFY(cb->count() > 0);
        }
        QVERIFY(dlg->m_editDataBits->text().isEmpty());
        QVERIFY(dlg->m_editDataFlow->text().isEmpty());
        QCOMPARE(Items(dlg->m_cbType), kAllTypes);
        QCOMPARE(EnabledIds(*dlg), Sorted({1041, 1042, 1044, 1012, 1017, 1020, 1, 100, 1030}));
    }

    void typeChoiceDrivesThePinNameBoxesAndBrowse() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        Click(*dlg, 1041);
        Choose(dlg->m_cbType, QStringLiteral("PIN CODE"));
        QVERIFY(dlg->m_bPinCode && !dlg->m_bFriendlyName);
        QVERIFY(dlg->m_editPinCode->isEnabled());
        QVERIFY(!dlg->m_editFriendlyName->isEnabled());
        QVERIFY(dlg->m_btnBrowse->isEnabled());  // the friendly-name step decides last

        Choose(dlg->m_cbType, QStringLiteral("FRIENDLY NAME"));
        QVERIFY(!dlg->m_bPinCode && dlg->m_bFriendlyName);
        QVERIFY(!dlg->m_editPinCode->isEnabled());
        QVERIFY(dlg->m_editFriendlyName->isEnabled());
        QVERIFY(!dlg->m_btnBrowse->isEnabled());

        Choose(dlg->m_cbType, QStringLiteral("CG FONT"));
        QVERIFY(!dlg->m_bPinCode && !dlg->m_bFriendlyName);
        QVERIFY(!dlg->m_editPinCode->isEnabled());
        QVERIFY(!dlg->m_editFriendlyName->isEnabled());
        QVERIFY(dlg->m_btnBrowse->isEnabled());
    }

    void typeChoiceFromTheKeyboardCounts() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        Click(*dlg, 1041);
        dlg->m_cbType->setFocus();
        for (int i = 0; i < 5; ++i) KeyTo(dlg.get(), Qt::Key_Down);
        QCOMPARE(dlg->m_cbType->currentText(), QStringLiteral("FRIENDLY NAME"));
        QVERIFY(dlg->m_bFriendlyName);
        QVERIFY(!dlg->m_btnBrowse->isEnabled());
    }

    void typeChangeForgetsAChosenFileOnly() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        Click(*dlg, 1041);
        Choose(dlg->m_cbType, QStringLiteral("MAIN FIRMWARE"));
        QCOMPARE(dlg->m_editFile->text(), QStringLiteral("BINARY FILE"));
        QCOMPARE(dlg->m_strFileName, QStringLiteral("BINARY FILE"));

        dlg->m_strFilePath = QStringLiteral("/data/main.mfw");
        dlg->m_strFileName = QStringLiteral("main.mfw");
        dlg->m_editFile->setText(dlg->m_strFileName);
        Choose(dlg->m_cbType, QStringLiteral("CG FONT"));
        QVERIFY(dlg->m_strFilePath.isEmpty());
        QVERIFY(dlg->m_strFileName.isEmpty());
        QVERIFY(dlg->m_editFile->text().isEmpty());

        // A link change alone keeps the file.
        dlg->m_strFilePath = QStringLiteral("/data/font.bin");
        dlg->m_strFileName = QStringLiteral("font.bin");
        dlg->m_editFile->setText(dlg->m_strFileName);
        Click(*dlg, 1044);
        QCOMPARE(dlg->m_editFile->text(), QStringLiteral("font.bin"));
        QCOMPARE(dlg->m_strFilePath, QStringLiteral("/data/font.bin"));
    }

    void portItemsNameTheirDeviceAndShowWhetherItIsThere() {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString present = root.filePath(QStringLiteral("ttyUSB0"));
        ::close(::open(QFile::encodeName(present).constData(), O_CREAT | O_WRONLY, 0600));
        qputenv("RTQFLASH_DEVICE_ROOT", QFile::encodeName(root.path()));
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        Click(*dlg, 1041);
        auto tip = [&](int index) { return dlg->m_cbPort->itemData(index, Qt::ToolTipRole).toString(); };
        auto bold = [&](int index) {
            return dlg->m_cbPort->itemData(index, Qt::FontRole).value<QFont>().bold();
        };
        QCOMPARE(tip(16), present + QStringLiteral(" (present)"));
        QCOMPARE(tip(0), root.filePath(QStringLiteral("ttyS0")) + QStringLiteral(" (not present)"));
        QCOMPARE(tip(63), root.filePath(QStringLiteral("rfcomm15")) + QStringLiteral(" (not present)"));
        QVERIFY(bold(16));
        for (int i : {0, 15, 17, 63}) QVERIFY2(!bold(i), qPrintable(QString::number(i)));
        // The names stay plain, whatever is marked.
        QCOMPARE(dlg->m_cbPort->itemText(16), QStringLiteral("COM17"));

        // A device that appears later is seen when the list is opened; the
        // open list shows 16 rows and scrolls to the others.
        const QString later = root.filePath(QStringLiteral("rfcomm15"));
        ::close(::open(QFile::encodeName(later).constData(), O_CREAT | O_WRONLY, 0600));
        dlg->m_cbPort->showPopup();
        QCOMPARE(tip(63), later + QStringLiteral(" (present)"));
        QVERIFY(bold(63));
        QAbstractItemView* view = dlg->m_cbPort->view();
        QTRY_VERIFY(view->isVisible());
        const int rowHeight = view->sizeHintForRow(0);
        QVERIFY(rowHeight > 0);
        const int rows = view->viewport()->height() / rowHeight;
        QVERIFY2(rows >= 15 && rows <= 16, qPrintable(QString::number(rows)));
        QVERIFY(view->verticalScrollBar()->maximum() > 0);
        dlg->m_cbPort->hidePopup();
        qunsetenv("RTQFLASH_DEVICE_ROOT");
    }

    void enableControlsFollowsTheRunsLink() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        struct Case {
            bool serial, bluetooth, pin, name;
            QList<int> enabled;
        };
        const Case cases[] = {
            {true, false, false, false,
             {1041, 1042, 1044, 1012, 1013, 1014, 1015, 1016, 1017, 1020, 1, 100, 1030}},
            {false, true, true, false, {1041, 1042, 1044, 1012, 1013, 1017, 1020, 1021, 1, 100, 1030}},
            // Friendly name over USB: the line lists are off, Browse too.
            {false, false, false, true, {1041, 1042, 1044, 1012, 1017, 1040, 1, 100, 1030}},
        };
        for (const Case& c : cases) {
            dlg->LockControls();
            QVERIFY(dlg->m_bBusy);
            QCOMPARE(EnabledIds(*dlg), Sorted({100}));
            dlg->m_bSerial = c.serial;
            dlg->m_bBluetooth = c.bluetooth;
            dlg->m_bPinCode = c.pin;
            dlg->m_bFriendlyName = c.name;
            QCOMPARE(dlg->OnWorkerMessage(WM_ENABLE_CONTROLS, 0, 1), LRESULT(1));
            QVERIFY(!dlg->m_bBusy);
            QCOMPARE(EnabledIds(*dlg), Sorted(c.enabled));
        }
        // Posted from elsewhere, it arrives through the queue.
        dlg->LockControls();
        dlg->m_bSerial = true;
        dlg->PostMessage(WM_ENABLE_CONTROLS, 0, 1);
        QVERIFY(dlg->m_bBusy);
        QTRY_VERIFY(!dlg->m_bBusy);
        QVERIFY(dlg->m_cbBaud->isEnabled());
    }

    void escapeClosesOnlyWhenIdle() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        dlg->LockControls();
        KeyTo(dlg.get(), Qt::Key_Escape);
        QVERIFY(dlg->isVisible());
        dlg->close();  // the close box
        QVERIFY(dlg->isVisible());

        dlg->OnWorkerMessage(WM_ENABLE_CONTROLS, 0, 1);
        KeyTo(dlg.get(), Qt::Key_Escape);
        QVERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), 1027);
    }

    void exitEndsTheDialogWith1027() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        QTimer::singleShot(0, dlg.get(), [&] { Press(dlg->m_btnExit); });
        QCOMPARE(dlg->exec(), 1027);
    }

    void enterNeverEndsTheDialog() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        Click(*dlg, 1041);
        // Enter is FLASH NOW; with no port picked it is refused with a box.
        rtq::test::ModalCatcher catcher;
        dlg->m_cbType->setFocus();
        KeyTo(dlg.get(), Qt::Key_Return);
        QVERIFY(dlg->isVisible());
        dlg->accept();
        QVERIFY(dlg->isVisible());
        QTRY_VERIFY(!dlg->m_bBusy);
        QVERIFY(!catcher.boxes.empty());
        QCOMPARE(catcher.boxes.back().text, QStringLiteral("Illegal COM port set!"));
    }
};

QTEST_MAIN(FlashDlgLinksTest)
#include "flash_dlg_links_test.moc"
