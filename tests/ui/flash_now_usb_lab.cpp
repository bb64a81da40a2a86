// One whole USB run from FLASH NOW in real time, with the real USB backend:
// run by the USB lab against a printer attached there (not registered with
// CTest on its own, since it needs one). RTQ_LAB_FILE names a CG FONT file;
// the lab compares the printer's flash with it afterwards. The Bluetooth lab
// runs the Bluetooth slot alone against its paired printer, whose port list
// item RTQ_LAB_BT_ITEM names.

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "tests/ui/dialog_access.h"
#include "engine/result_codes.h"
#include "ports/port_state.h"
#include "tests/ui/dialog_fixture.h"
#include "tests/ui/modal_catcher.h"
#include "dialog/control_ids.h"
#include "ui/flash_dlg.h"

class FlashNowUsbLab : public QObject {
    Q_OBJECT

private slots:
    void fontRunOverUsbFromFlashNow() {
        if (!qEnvironmentVariableIsEmpty("RTQ_LAB_BT_ITEM")) QSKIP("the Bluetooth lab's run");
        const QString path = qEnvironmentVariable("RTQ_LAB_FILE");
        QVERIFY2(QFileInfo(path).isFile(), "RTQ_LAB_FILE names no file");
        auto dlg = rtq::test::ShownDialog();
        QVERIFY(dlg);
        rtq::test::ModalCatcher catcher;

        rtq::test::Press(dlg->Control(IDC_USB));
        QVERIFY(g_bUsbLink.load());
        rtq::test::Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("CG FONT"));
        FlashDlgTestAccess::UseFile(*dlg, path);

        rtq::test::Press(FlashDlgTestAccess::m_btnFlash(*dlg));
        QVERIFY(dlg->IsBusy());
        // The run's own pauses take about 30 s; a stuck run fails here.
        QTRY_VERIFY_WITH_TIMEOUT(!catcher.boxes.empty() && !dlg->IsBusy(), 180000);
        QCOMPARE(catcher.boxes.size(), size_t(1));
        QCOMPARE(catcher.boxes[0].text, QStringLiteral("Download successfully completed!"));
        QCOMPARE(dlg->LastResult(), kResultSuccess);
        // The send and receive threads are gone once the dialog is unlocked.
        QTRY_VERIFY_WITH_TIMEOUT(!FlashDlgTestAccess::m_run(*dlg).m_pSendUSBThread.get(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!FlashDlgTestAccess::m_run(*dlg).m_usbReplies.m_pReceiveUSBThread.load(), 5000);
    }

    // The paired printer as BlueZ lists it over the system bus, picked from
    // the Bluetooth link's port list, then a PIN CODE run over the
    // program's own RFCOMM link.
    void pinCodeOverBluetoothFromFlashNow() {
        const QString item = qEnvironmentVariable("RTQ_LAB_BT_ITEM");
        if (item.isEmpty()) QSKIP("RTQ_LAB_BT_ITEM is not set");
        auto dlg = rtq::test::ShownDialog();
        QVERIFY(dlg);
        rtq::test::ModalCatcher catcher;

        QElapsedTimer listed;
        listed.start();
        rtq::test::Press(dlg->Control(IDC_BLUETOOTH));
        QComboBox* ports = FlashDlgTestAccess::m_cbPort(*dlg);
        QTRY_VERIFY_WITH_TIMEOUT(ports->findText(item) >= 0, 10000);
        qInfo("printer listed %lld ms after the click", static_cast<long long>(listed.elapsed()));
        const QString tip = ports->itemData(ports->findText(item), Qt::ToolTipRole).toString();
        QVERIFY2(tip.startsWith(QStringLiteral("Paired")), qPrintable(tip));
        rtq::test::Choose(ports, item);
        rtq::test::Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("PIN CODE"));
        FlashDlgTestAccess::m_editPinCode(*dlg)->setText(QStringLiteral("1234"));

        qInfo("FLASH NOW at %lld", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
        rtq::test::Press(FlashDlgTestAccess::m_btnFlash(*dlg));
        QTRY_VERIFY_WITH_TIMEOUT(!catcher.boxes.empty() && !dlg->IsBusy(), 60000);
        QCOMPARE(catcher.boxes.size(), size_t(1));
        QCOMPARE(catcher.boxes[0].text, QStringLiteral("Download successfully completed!"));
    }
};

QTEST_MAIN(FlashNowUsbLab)
#include "flash_now_usb_lab.moc"
