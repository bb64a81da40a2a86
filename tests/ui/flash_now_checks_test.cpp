// FLASH NOW's refusals: the settings checks in their order, the data file
// checks, the USB opening steps and a send thread still present. Each
// refusal shows its message, unlocks the dialog, keeps the operator's
// settings and leaves no download object or open device behind.

#include <sys/stat.h>

#include <QFile>

#include "tests/ui/dialog_access.h"
#include "tests/support/fake_usb_backend.h"
#include "tests/ui/flash_run_fixture.h"
#include "workers/send_usb_thread.h"

using rtq::test::FlashRunFixture;

namespace {

// What the operator set, as the controls show it.
QStringList Settings(const CFlashDlg& d) {
    return {FlashDlgTestAccess::m_cbType(d)->currentText(), FlashDlgTestAccess::m_cbPort(d)->currentText(),  FlashDlgTestAccess::m_cbBaud(d)->currentText(),
            FlashDlgTestAccess::m_cbParity(d)->currentText(), FlashDlgTestAccess::m_cbStopBits(d)->currentText(), FlashDlgTestAccess::m_editFile(d)->text(),
            FlashDlgTestAccess::m_editPinCode(d)->text(), FlashDlgTestAccess::m_editFriendlyName(d)->text()};
}

}  // namespace

class FlashNowChecksTest : public QObject {
    Q_OBJECT

    // Presses FLASH NOW once and checks what every refusal has in common.
    static void Refused(FlashRunFixture& f, const QString& text, const QList<int>& idle) {
        const QStringList before = Settings(*f.dlg);
        const size_t boxes = f.catcher.boxes.size();
        FlashDlgTestAccess::m_vecWorkerMessages(*f.dlg).clear();
        f.FlashNowAndWait(boxes + 1);
        QVERIFY(!QTest::currentTestFailed());
        // An empty text: the system's own words, not checked here.
        if (!text.isEmpty()) QCOMPARE(f.catcher.boxes.back().text, text);
        QCOMPARE(int(f.catcher.boxes.back().icon), int(QMessageBox::Critical));
        QCOMPARE(f.dlg->WorkerMessages(), (std::vector<UINT>{WM_ENABLE_CONTROLS}));
        QCOMPARE(f.EnabledIds(), idle);
        // Enter would press FLASH NOW again, not About.
        QCOMPARE(f.dlg->focusWidget(), static_cast<QWidget*>(FlashDlgTestAccess::m_btnFlash(*f.dlg)));
        QCOMPARE(Settings(*f.dlg), before);
        QVERIFY(!FlashDlgTestAccess::m_run(*f.dlg).pPrinter);
        QVERIFY(!FlashDlgTestAccess::m_run(*f.dlg).pThread);
        QVERIFY(!f.dlg->ProgressDlg());
        QCOMPARE(f.backend.OpenCount(), 0);
    }

    static QList<int> UsbIdle() {
        QList<int> ids{IDOK_FLASH, IDC_ABOUT, IDC_TYPE, IDC_FILE, IDC_BROWSE,
                       IDC_EXIT,   IDC_SERIAL, IDC_BLUETOOTH, IDC_USB};
        std::sort(ids.begin(), ids.end());
        return ids;
    }

private slots:
    void refusalsComeInTheOrderOfTheChecks() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        f.Click(IDC_SERIAL);
        // Everything wrong at once; each press meets the first fault left.
        FlashDlgTestAccess::m_editFriendlyName(*f.dlg)->setText(QStringLiteral("name\x7f"));
        QCOMPARE(FlashDlgTestAccess::m_editFriendlyName(*f.dlg)->text().size(), 5);
        FlashDlgTestAccess::m_editPinCode(*f.dlg)->setText(QStringLiteral("12\u00e9"));
        for (QComboBox* cb : {FlashDlgTestAccess::m_cbBaud(*f.dlg), FlashDlgTestAccess::m_cbParity(*f.dlg), FlashDlgTestAccess::m_cbStopBits(*f.dlg)})
            cb->setCurrentIndex(-1);
        const QList<int> idle = FlashRunFixture::SerialIdle();
        const std::string good = f.WriteFile(QStringLiteral("font.bin"), rtq::test::FontImage());

        Refused(f, QStringLiteral("Illegal COM port set!"), idle);
        rtq::test::Choose(FlashDlgTestAccess::m_cbPort(*f.dlg), QStringLiteral("COM17"));
        Refused(f, QStringLiteral("Illegal characters in Friendly Name :  \x7f"), idle);
        FlashDlgTestAccess::m_editFriendlyName(*f.dlg)->setText(QStringLiteral("name"));
        Refused(f, QStringLiteral("Illegal characters in Pin Code :  \u00e9"), idle);
        FlashDlgTestAccess::m_editPinCode(*f.dlg)->setText(QStringLiteral("1234"));
        Refused(f, QStringLiteral("Unrecognized download type set!"), idle);
        rtq::test::Choose(FlashDlgTestAccess::m_cbType(*f.dlg), QStringLiteral("CG FONT"));
        // No file chosen: the box still says "BINARY FILE".
        Refused(f, QStringLiteral("Invalid binary data file!"), idle);
        f.UseFile(QString::fromStdString(good));
        Refused(f, QStringLiteral("Illegal parity set!"), idle);
        FlashDlgTestAccess::m_cbParity(*f.dlg)->setCurrentIndex(1);  // EVEN
        Refused(f, QStringLiteral("Illegal baud rate set!"), idle);
        FlashDlgTestAccess::m_cbBaud(*f.dlg)->setCurrentIndex(0);  // 38400
        Refused(f, QStringLiteral("Illegal stop bit set!"), idle);
        FlashDlgTestAccess::m_cbStopBits(*f.dlg)->setCurrentIndex(1);  // 2

        // The file: its tag, its length, and whether it can be read at all.
        std::vector<uint8_t> untagged = rtq::test::FontImage();
        untagged[3] = '2';
        f.UseFile(QString::fromStdString(f.WriteFile(QStringLiteral("other.bin"), untagged)));
        Refused(f, QStringLiteral("This file is not for RTQ5V!"), idle);
        f.UseFile(QString::fromStdString(
            f.WriteFile(QStringLiteral("short.bin"), rtq::test::FontImage(1000))));
        Refused(f, QStringLiteral("Invalid binary data file!"), idle);
        const QString gone = f.dir.filePath(QStringLiteral("gone.bin"));
        f.UseFile(gone);
        Refused(f, gone + QStringLiteral("\nNo such file or directory"), idle);
        QCOMPARE(f.dlg->LastResult(), 1020);  // that box carries no result
        // A named pipe is refused at once, not waited on for a writer.
        const QString pipe = f.dir.filePath(QStringLiteral("pipe.bin"));
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        f.UseFile(pipe);
        Refused(f, pipe + QStringLiteral("\nnot a regular file (a named pipe)"), idle);

        // All settings good: the run starts with the values they stand for.
        f.UseFile(QString::fromStdString(good));
        f.FlashNowAndWait(f.catcher.boxes.size() + 1);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(f.catcher.boxes.back().text, QStringLiteral("Download successfully completed!"));
        QCOMPARE(FlashDlgTestAccess::m_strPort(*f.dlg), std::string("\\\\.\\COM17"));
        QCOMPARE(FlashDlgTestAccess::m_strParity(*f.dlg), std::string("EVEN"));
        QCOMPARE(FlashDlgTestAccess::m_nBaud(*f.dlg), 38400);
        QCOMPARE(FlashDlgTestAccess::m_nStopBits(*f.dlg), 2);
        QCOMPARE(FlashDlgTestAccess::m_nFirstSector(*f.dlg), 20);
        QVERIFY(FlashDlgTestAccess::m_bFont(*f.dlg) && FlashDlgTestAccess::m_bSerial(*f.dlg) && !FlashDlgTestAccess::m_bBluetooth(*f.dlg));
        QCOMPARE(f.backend.States().front().dcb.Parity, uint8_t(EVENPARITY));
    }

    void usbOpeningStepsAreRefusedWithTheirCodes() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        rtq::test::FakeUsbBackend usb;
        rtq::test::ScopedUsbBackend useUsb(usb);
        f.Click(IDC_USB);
        QCOMPARE(g_bUsbLink.load(), 1);
        rtq::test::Choose(FlashDlgTestAccess::m_cbType(*f.dlg), QStringLiteral("CG FONT"));
        f.UseFile(QString::fromStdString(f.WriteFile(QStringLiteral("font.bin"), rtq::test::FontImage())));

        usb.SetDeviceFound(false);
        Refused(f, QStringLiteral("Unable to open USB Port!"), UsbIdle());
        QCOMPARE(f.dlg->LastResult(), 1038);
        usb.SetDeviceFound(true);
        usb.SetDeviceIdResult(false);
        Refused(f, QString(), UsbIdle());
        QCOMPARE(f.dlg->LastResult(), 1039);
        usb.SetDeviceIdResult(true);
        usb.SetPortStatusResult(false);
        Refused(f, QStringLiteral("Unable to open USB Port!"), UsbIdle());
        QCOMPARE(f.dlg->LastResult(), 1040);
        // Every device opened on the way was closed again.
        QCOMPARE(usb.OpenCount(), 2);
        QCOMPARE(usb.CloseCount(), 2);
        QCOMPARE(usb.OpenHandle(), HANDLE(INVALID_HANDLE_VALUE));
        QVERIFY(!FlashDlgTestAccess::m_run(*f.dlg).m_pSendUSBThread.get());
    }

    void aSendThreadStillPresentRefusesTheRunAndClosesTheDevice() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        rtq::test::FakeUsbBackend usb;
        rtq::test::ScopedUsbBackend useUsb(usb);
        f.Click(IDC_USB);
        rtq::test::Choose(FlashDlgTestAccess::m_cbType(*f.dlg), QStringLiteral("CG FONT"));
        f.UseFile(QString::fromStdString(f.WriteFile(QStringLiteral("font.bin"), rtq::test::FontImage())));

        // The previous run's send thread, not yet cleaned up.
        auto* previous = new CSend_USBThread;
        FlashDlgTestAccess::m_run(*f.dlg).m_pSendUSBThread.reset(previous);
        Refused(f, QStringLiteral("Send Thread exist!!"), UsbIdle());
        QCOMPARE(FlashDlgTestAccess::m_run(*f.dlg).m_pSendUSBThread.get(), previous);
        QCOMPARE(usb.OpenCount(), 1);
        QCOMPARE(usb.CloseCount(), 1);
        QCOMPARE(usb.OpenHandle(), HANDLE(INVALID_HANDLE_VALUE));
        QCOMPARE(g_hUsbDevice.load(), HANDLE(INVALID_HANDLE_VALUE));

        // Its late ended-message takes only that thread.
        f.dlg->OnWorkerMessage(WM_SEND_USB_ENDED, 0, 0);
        QCOMPARE(FlashDlgTestAccess::m_run(*f.dlg).m_pSendUSBThread.get(), previous);
        f.dlg->OnWorkerMessage(WM_SEND_USB_ENDED, 0, previous->Number());
        QVERIFY(!FlashDlgTestAccess::m_run(*f.dlg).m_pSendUSBThread.get());
    }
};

QTEST_MAIN(FlashNowChecksTest)
#include "flash_now_checks_test.moc"
