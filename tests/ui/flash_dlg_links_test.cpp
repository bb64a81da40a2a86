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

#include "tests/ui/dialog_access.h"
#include "platform/messages.h"
#include "ports/bluetooth_printers.h"
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
        QVERIFY(!FlashDlgTestAccess::m_btnFlash(*dlg)->isEnabled());
        for (int id : {1041, 1042, 1044}) QVERIFY(!static_cast<QRadioButton*>(dlg->Control(id))->isChecked());
        QCOMPARE(g_bCancelled.load(), 0);
        QCOMPARE(g_pMainDlg.load(), static_cast<INotifyWindow*>(dlg.get()));
        QCOMPARE(dlg->LastResult(), -1);

        QCOMPARE(Items(FlashDlgTestAccess::m_cbType(*dlg)), kAllTypes);
        QCOMPARE(FlashDlgTestAccess::m_cbType(*dlg)->currentIndex(), -1);
        QCOMPARE(FlashDlgTestAccess::m_cbPort(*dlg)->count(), 0);
        QCOMPARE(FlashDlgTestAccess::m_cbBaud(*dlg)->currentText(), QStringLiteral("9600"));
        QCOMPARE(FlashDlgTestAccess::m_cbParity(*dlg)->currentText(), QStringLiteral("NONE"));
        QCOMPARE(FlashDlgTestAccess::m_cbStopBits(*dlg)->currentText(), QStringLiteral("1"));
        QCOMPARE(FlashDlgTestAccess::m_editDataBits(*dlg)->text(), QStringLiteral("8"));
        QCOMPARE(FlashDlgTestAccess::m_editDataFlow(*dlg)->text(), QStringLiteral("DTR / DSR"));
        QCOMPARE(FlashDlgTestAccess::m_editFile(*dlg)->text(), QStringLiteral("BINARY FILE"));

        // A dead button stays dead under the mouse too.
        Press(FlashDlgTestAccess::m_btnFlash(*dlg));
        QVERIFY(dlg->isVisible());
    }

    void serialPortFillsThePortsAndEnablesItsSettings() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        g_bUsbLink.store(1);
        Click(*dlg, 1041);
        QCOMPARE(g_bUsbLink.load(), 0);
        QCOMPARE(FlashDlgTestAccess::m_cbPort(*dlg)->count(), 64);
        QCOMPARE(FlashDlgTestAccess::m_cbPort(*dlg)->itemText(0), QStringLiteral("COM1"));
        QCOMPARE(FlashDlgTestAccess::m_cbPort(*dlg)->itemText(63), QStringLiteral("COM64"));
        QCOMPARE(FlashDlgTestAccess::m_cbPort(*dlg)->currentIndex(), -1);
        QCOMPARE(Items(FlashDlgTestAccess::m_cbType(*dlg)), kAllTypes);
        QCOMPARE(FlashDlgTestAccess::m_cbType(*dlg)->currentIndex(), -1);
        QCOMPARE(FlashDlgTestAccess::m_cbBaud(*dlg)->currentText(), QStringLiteral("9600"));
        QCOMPARE(FlashDlgTestAccess::m_cbParity(*dlg)->currentText(), QStringLiteral("NONE"));
        QCOMPARE(FlashDlgTestAccess::m_cbStopBits(*dlg)->currentText(), QStringLiteral("1"));
        QCOMPARE(EnabledIds(*dlg),
                 Sorted({1041, 1042, 1044, 1012, 1013, 1014, 1015, 1016, 1017, 1020, 1, 100, 1030}));
    }

    void bluetoothDropsTheLoaderAndFixesTheLine() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        Click(*dlg, 1041);
        FlashDlgTestAccess::m_cbBaud(*dlg)->setCurrentIndex(3);
        Click(*dlg, 1042);
        QVERIFY(dlg->IsBluetoothChecked());
        QCOMPARE(g_bUsbLink.load(), 0);
        QCOMPARE(Items(FlashDlgTestAccess::m_cbType(*dlg)),
                 QStringList({"MAIN FIRMWARE", "CG FONT", "PIN CODE", "FRIENDLY NAME"}));
        QCOMPARE(FlashDlgTestAccess::m_cbType(*dlg)->currentIndex(), -1);
        QCOMPARE(FlashDlgTestAccess::m_cbPort(*dlg)->count(), 64);
        QCOMPARE(FlashDlgTestAccess::m_cbPort(*dlg)->currentIndex(), -1);
        QCOMPARE(FlashDlgTestAccess::m_cbBaud(*dlg)->currentText(), QStringLiteral("38400"));
        QCOMPARE(FlashDlgTestAccess::m_cbParity(*dlg)->currentText(), QStringLiteral("NONE"));
        QCOMPARE(FlashDlgTestAccess::m_cbStopBits(*dlg)->currentText(), QStringLiteral("1"));
        QCOMPARE(EnabledIds(*dlg), Sorted({1041, 1042, 1044, 1012, 1013, 1017, 1020, 1, 100, 1030}));
        // Clicking it again reloads the list rather than removing another type.
        Click(*dlg, 1042);
        QCOMPARE(FlashDlgTestAccess::m_cbType(*dlg)->count(), 4);
    }

    void usbEmptiesTheLineBoxesAndKeepsThePortList() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        Click(*dlg, 1041);
        Choose(FlashDlgTestAccess::m_cbPort(*dlg), QStringLiteral("COM3"));
        Click(*dlg, 1044);
        QCOMPARE(g_bUsbLink.load(), 1);
        QCOMPARE(FlashDlgTestAccess::m_cbPort(*dlg)->count(), 64);
        QCOMPARE(FlashDlgTestAccess::m_cbPort(*dlg)->currentIndex(), -1);
        for (QComboBox* cb : {FlashDlgTestAccess::m_cbBaud(*dlg), FlashDlgTestAccess::m_cbParity(*dlg), FlashDlgTestAccess::m_cbStopBits(*dlg)}) {
            QCOMPARE(cb->currentIndex(), -1);
            QVERIFY(cb->count() > 0);
        }
        QVERIFY(FlashDlgTestAccess::m_editDataBits(*dlg)->text().isEmpty());
        QVERIFY(FlashDlgTestAccess::m_editDataFlow(*dlg)->text().isEmpty());
        QCOMPARE(Items(FlashDlgTestAccess::m_cbType(*dlg)), kAllTypes);
        QCOMPARE(EnabledIds(*dlg), Sorted({1041, 1042, 1044, 1012, 1017, 1020, 1, 100, 1030}));
    }

    void typeChoiceDrivesThePinNameBoxesAndBrowse() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        Click(*dlg, 1041);
        Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("PIN CODE"));
        QVERIFY(FlashDlgTestAccess::m_bPinCode(*dlg) && !FlashDlgTestAccess::m_bFriendlyName(*dlg));
        QVERIFY(FlashDlgTestAccess::m_editPinCode(*dlg)->isEnabled());
        QVERIFY(!FlashDlgTestAccess::m_editFriendlyName(*dlg)->isEnabled());
        QVERIFY(FlashDlgTestAccess::m_btnBrowse(*dlg)->isEnabled());  // the friendly-name step decides last

        Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("FRIENDLY NAME"));
        QVERIFY(!FlashDlgTestAccess::m_bPinCode(*dlg) && FlashDlgTestAccess::m_bFriendlyName(*dlg));
        QVERIFY(!FlashDlgTestAccess::m_editPinCode(*dlg)->isEnabled());
        QVERIFY(FlashDlgTestAccess::m_editFriendlyName(*dlg)->isEnabled());
        QVERIFY(!FlashDlgTestAccess::m_btnBrowse(*dlg)->isEnabled());

        Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("CG FONT"));
        QVERIFY(!FlashDlgTestAccess::m_bPinCode(*dlg) && !FlashDlgTestAccess::m_bFriendlyName(*dlg));
        QVERIFY(!FlashDlgTestAccess::m_editPinCode(*dlg)->isEnabled());
        QVERIFY(!FlashDlgTestAccess::m_editFriendlyName(*dlg)->isEnabled());
        QVERIFY(FlashDlgTestAccess::m_btnBrowse(*dlg)->isEnabled());
    }

    void typeChoiceFromTheKeyboardCounts() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        Click(*dlg, 1041);
        FlashDlgTestAccess::m_cbType(*dlg)->setFocus();
        for (int i = 0; i < 5; ++i) KeyTo(dlg.get(), Qt::Key_Down);
        QCOMPARE(FlashDlgTestAccess::m_cbType(*dlg)->currentText(), QStringLiteral("FRIENDLY NAME"));
        QVERIFY(FlashDlgTestAccess::m_bFriendlyName(*dlg));
        QVERIFY(!FlashDlgTestAccess::m_btnBrowse(*dlg)->isEnabled());
    }

    void typeChangeForgetsAChosenFileOnly() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        Click(*dlg, 1041);
        Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("MAIN FIRMWARE"));
        QCOMPARE(FlashDlgTestAccess::m_editFile(*dlg)->text(), QStringLiteral("BINARY FILE"));
        QCOMPARE(FlashDlgTestAccess::m_strFileName(*dlg), QStringLiteral("BINARY FILE"));

        FlashDlgTestAccess::UseFile(*dlg, QStringLiteral("/data/main.mfw"));
        Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("CG FONT"));
        QVERIFY(FlashDlgTestAccess::m_strFilePath(*dlg).isEmpty());
        QVERIFY(FlashDlgTestAccess::m_strFileName(*dlg).isEmpty());
        QVERIFY(FlashDlgTestAccess::m_editFile(*dlg)->text().isEmpty());

        // A link change alone keeps the file.
        FlashDlgTestAccess::UseFile(*dlg, QStringLiteral("/data/font.bin"));
        Click(*dlg, 1044);
        QCOMPARE(FlashDlgTestAccess::m_editFile(*dlg)->text(), QStringLiteral("font.bin"));
        QCOMPARE(FlashDlgTestAccess::m_strFilePath(*dlg), QStringLiteral("/data/font.bin"));
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
        auto tip = [&](int index) { return FlashDlgTestAccess::m_cbPort(*dlg)->itemData(index, Qt::ToolTipRole).toString(); };
        auto bold = [&](int index) {
            return FlashDlgTestAccess::m_cbPort(*dlg)->itemData(index, Qt::FontRole).value<QFont>().bold();
        };
        QCOMPARE(tip(16), present + QStringLiteral(" (present)"));
        QCOMPARE(tip(0), root.filePath(QStringLiteral("ttyS0")) + QStringLiteral(" (not present)"));
        QCOMPARE(tip(63), root.filePath(QStringLiteral("rfcomm15")) + QStringLiteral(" (not present)"));
        QVERIFY(bold(16));
        for (int i : {0, 15, 17, 63}) QVERIFY2(!bold(i), qPrintable(QString::number(i)));
        // The names stay plain, whatever is marked.
        QCOMPARE(FlashDlgTestAccess::m_cbPort(*dlg)->itemText(16), QStringLiteral("COM17"));

        // A device that appears later is seen when the list is opened; the
        // open list shows 16 rows and scrolls to the others.
        const QString later = root.filePath(QStringLiteral("rfcomm15"));
        ::close(::open(QFile::encodeName(later).constData(), O_CREAT | O_WRONLY, 0600));
        FlashDlgTestAccess::m_cbPort(*dlg)->showPopup();
        QCOMPARE(tip(63), later + QStringLiteral(" (present)"));
        QVERIFY(bold(63));
        QAbstractItemView* view = FlashDlgTestAccess::m_cbPort(*dlg)->view();
        QTRY_VERIFY(view->isVisible());
        const int rowHeight = view->sizeHintForRow(0);
        QVERIFY(rowHeight > 0);
        const int rows = view->viewport()->height() / rowHeight;
        QVERIFY2(rows >= 15 && rows <= 16, qPrintable(QString::number(rows)));
        QVERIFY(view->verticalScrollBar()->maximum() > 0);
        FlashDlgTestAccess::m_cbPort(*dlg)->hidePopup();
        qunsetenv("RTQFLASH_DEVICE_ROOT");
    }

    void pairedPrintersFollowTheComPortsWithTheirOwnTips() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        dlg->SetBluetoothReader([] {
            rtq::BluetoothState s;
            s.serviceReachable = true;
            s.adapters.push_back({"/org/bluez/hci0", true});
            s.devices.push_back({"/d", "00:AA:01:01:00:01", "RTQ650", "RTQ-P1", true, true,
                                 {rtq::kSerialPortUuid}});
            return s;
        });
        Click(*dlg, 1042);
        CPortComboBox* ports = FlashDlgTestAccess::m_cbPort(*dlg);
        QTRY_COMPARE(ports->count(), 65);
        QCOMPARE(ports->itemText(64), QStringLiteral("RTQ-P1 (00:AA:01:01:00:01)"));
        // Opening the list refreshes the COM ports' tips, not the printer's.
        ports->showPopup();
        const QString tip = ports->itemData(64, Qt::ToolTipRole).toString();
        QVERIFY2(tip.contains(QStringLiteral("Paired")) &&
                     tip.contains(QStringLiteral("connected now")),
                 qPrintable(tip));
        QVERIFY(ports->itemData(0, Qt::ToolTipRole).toString().contains(QStringLiteral("ttyS0")));
        ports->hidePopup();
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
            QVERIFY(dlg->IsBusy());
            QCOMPARE(EnabledIds(*dlg), Sorted({100}));
            FlashDlgTestAccess::m_bSerial(*dlg) = c.serial;
            FlashDlgTestAccess::m_bBluetooth(*dlg) = c.bluetooth;
            FlashDlgTestAccess::m_bPinCode(*dlg) = c.pin;
            FlashDlgTestAccess::m_bFriendlyName(*dlg) = c.name;
            QCOMPARE(dlg->OnWorkerMessage(WM_ENABLE_CONTROLS, 0, 1), LRESULT(1));
            QVERIFY(!dlg->IsBusy());
            QCOMPARE(EnabledIds(*dlg), Sorted(c.enabled));
        }
        // Posted from elsewhere, it arrives through the queue.
        dlg->LockControls();
        FlashDlgTestAccess::m_bSerial(*dlg) = true;
        dlg->PostMessage(WM_ENABLE_CONTROLS, 0, 1);
        QVERIFY(dlg->IsBusy());
        QTRY_VERIFY(!dlg->IsBusy());
        QVERIFY(FlashDlgTestAccess::m_cbBaud(*dlg)->isEnabled());
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
        QTimer::singleShot(0, dlg.get(), [&] { Press(FlashDlgTestAccess::m_btnExit(*dlg)); });
        QCOMPARE(dlg->exec(), 1027);
    }

    void enterNeverEndsTheDialog() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        Click(*dlg, 1041);
        // Enter is FLASH NOW; with no port picked it is refused with a box.
        rtq::test::ModalCatcher catcher;
        FlashDlgTestAccess::m_cbType(*dlg)->setFocus();
        KeyTo(dlg.get(), Qt::Key_Return);
        QVERIFY(dlg->isVisible());
        dlg->accept();
        QVERIFY(dlg->isVisible());
        QTRY_VERIFY(!dlg->IsBusy());
        QVERIFY(!catcher.boxes.empty());
        QCOMPARE(catcher.boxes.back().text, QStringLiteral("Illegal COM port set!"));
    }
};

QTEST_MAIN(FlashDlgLinksTest)
#include "flash_dlg_links_test.moc"
