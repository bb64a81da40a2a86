// One whole USB run from FLASH NOW in real time, with the real USB backend:
// run by the USB lab against a printer attached there (not registered with
// CTest on its own, since it needs one). RTQ_LAB_FILE names a CG FONT file;
// the lab compares the printer's flash with it afterwards.

#include <QApplication>
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
        const QString path = qEnvironmentVariable("RTQ_LAB_FILE");
        QVERIFY2(QFileInfo(path).isFile(), "RTQ_LAB_FILE names no file");
        auto dlg = rtq::test::ShownDialog();
        QVERIFY(dlg);
        rtq::test::ModalCatcher catcher;

        rtq::test::Press(dlg->Control(IDC_USB));
        QVERIFY(g_bUsbLink.load());
        rtq::test::Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("CG FONT"));
        FlashDlgTestAccess::m_strFilePath(*dlg) = path;
        FlashDlgTestAccess::m_strFileName(*dlg) = QFileInfo(path).fileName();
        FlashDlgTestAccess::m_editFile(*dlg)->setText(FlashDlgTestAccess::m_strFileName(*dlg));

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
};

QTEST_MAIN(FlashNowUsbLab)
#include "flash_now_usb_lab.moc"
