// Result codes as the operator sees them: text, icon, caption, the texts
// made at the moment, codes without a box, and the recorded code.

#include <cerrno>
#include <thread>

#include <QCoreApplication>
#include <QFileInfo>
#include <QTest>

#include "engine/run_settings.h"
#include "platform/last_error.h"
#include "platform/message_box.h"
#include "tests/ui/dialog_fixture.h"
#include "tests/ui/modal_catcher.h"
#include "ui/flash_dlg.h"

using rtq::test::ModalCatcher;
using rtq::test::ShownDialog;

class ReportResultTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        g_strFriendlyName.clear();
        g_strPinCode.clear();
    }

    void representativeCodes_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("icon");
        const int stop = QMessageBox::Critical;
        QTest::newRow("1") << 1 << "Download successfully completed!" << int(QMessageBox::Information);
        QTest::newRow("1003") << 1003 << "Timeout while sending data block!" << stop;
        QTest::newRow("1024") << 1024 << "Data file error!" << stop;
        QTest::newRow("1027") << 1027 << "Application was terminated by Cancel button!" << stop;
        QTest::newRow("1038") << 1038 << "Unable to open USB Port!" << stop;
        QTest::newRow("1040") << 1040 << "Unable to open USB Port!" << stop;
        QTest::newRow("1043 clean") << 1043 << "Illegal characters in Friendly Name :  " << stop;
    }

    void knownCauseGoesUnderTheExactText() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        ModalCatcher catcher;
        rtq::SetLastErrorFromErrno(EBUSY, "/dev/ttyUSB0");
        dlg->ReportResult(1017);
        rtq::SetLastErrorFromErrno(ENODEV);
        dlg->ReportResult(1038);
        dlg->ReportResult(1005);  // no cause known for a checksum
        QCOMPARE(catcher.boxes.size(), size_t(3));
        QCOMPARE(catcher.boxes[0].text, QStringLiteral("Unable to get serial port handle!"));
        QVERIFY2(catcher.boxes[0].informative.startsWith(
                     QStringLiteral("/dev/ttyUSB0: Device or resource busy. Another program")),
                 qPrintable(catcher.boxes[0].informative));
        QCOMPARE(catcher.boxes[1].text, QStringLiteral("Unable to open USB Port!"));
        QVERIFY(catcher.boxes[1].informative.startsWith(QStringLiteral("No printer with a known USB id")));
        QVERIFY(catcher.boxes[2].informative.isEmpty());
        rtq::SetLastErrorText(std::string());
    }

    void representativeCodes() {
        QFETCH(int, code);
        QFETCH(QString, text);
        QFETCH(int, icon);
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        ModalCatcher catcher;
        dlg->ReportResult(code);
        QCOMPARE(catcher.boxes.size(), size_t(1));
        const rtq::test::CaughtBox& box = catcher.boxes[0];
        QCOMPARE(box.text, text);
        QCOMPARE(int(box.icon), icon);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.title, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        QCOMPARE(box.format, Qt::PlainText);
        QCOMPARE(box.parent, static_cast<QWidget*>(dlg.get()));
        QCOMPARE(dlg->LastResult(), code);
    }

    void friendlyNameGetsItsOffendingCharacters() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        ModalCatcher catcher;
        g_strFriendlyName = "ab\tc";
        dlg->ReportResult(1043);
        g_strFriendlyName = std::string("<b>x\x7f", 5) + "\x01";
        dlg->ReportResult(1043);
        QCOMPARE(catcher.boxes.size(), size_t(2));
        QCOMPARE(catcher.boxes[0].text, QStringLiteral("Illegal characters in Friendly Name :  \t"));
        // Markup stays text; DEL and control characters are listed in order.
        QCOMPARE(catcher.boxes[1].text, QStringLiteral("Illegal characters in Friendly Name :  \x7f\x01"));
    }

    void pinCodeGetsItsBytesFromE9Up() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        ModalCatcher catcher;
        g_strPinCode = "12\xE9" "3\xE9";
        dlg->ReportResult(1044);
        // A control character is allowed in a PIN code; a character typed
        // in the box reaches the core as UTF-8 and is listed as typed.
        g_strPinCode = std::string("\t1") + QStringLiteral("\u00e9\u20ac").toStdString();
        dlg->ReportResult(1044);
        QCOMPARE(catcher.boxes.size(), size_t(2));
        QCOMPARE(catcher.boxes[0].text, QStringLiteral("Illegal characters in Pin Code :  \u00e9\u00e9"));
        QCOMPARE(catcher.boxes[1].text, QStringLiteral("Illegal characters in Pin Code :  \u00e9\u20ac"));
    }

    void systemTextFor1039IsTheOneCapturedAtTheFailure() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        ModalCatcher catcher;
        rtq::SetLastErrorText("No such device");
        dlg->ReportResult(1039);
        rtq::SetLastErrorText("");
        dlg->ReportResult(1039);
        QCOMPARE(catcher.boxes.size(), size_t(2));
        QCOMPARE(catcher.boxes[0].text, QStringLiteral("No such device"));
        QCOMPARE(catcher.boxes[0].icon, QMessageBox::Critical);
        QVERIFY(catcher.boxes[1].text.isEmpty());  // an empty box, as when no text exists
        QCOMPARE(dlg->LastResult(), 1039);
    }

    void codesWithoutAMessageShowNothingButAreRecorded() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        ModalCatcher catcher;
        for (int code : {1031, 1032, 0, -5, 1045, 2000}) {
            dlg->ReportResult(code);
            QCOMPARE(dlg->LastResult(), code);
        }
        QTest::qWait(20);
        QVERIFY(catcher.boxes.empty());
        dlg->ReportResult(1);
        dlg->ReportResult(1031);
        QCOMPARE(dlg->LastResult(), 1031);
        QCOMPARE(catcher.boxes.size(), size_t(1));
    }

    void beforeTheWindowExistsTheBoxHasNoOwner() {
        CFlashDlg dlg;
        ModalCatcher catcher;
        dlg.ReportResult(1024);
        QCOMPARE(catcher.boxes.size(), size_t(1));
        QCOMPARE(catcher.boxes[0].parent, nullptr);
    }

    void aWorkersReportIsShownOnTheDialogsThreadAndWaits() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        ModalCatcher catcher;
        QThread* boxThread = nullptr;
        catcher.onBox = [&](QMessageBox* box) { boxThread = box->thread(); };
        std::atomic<bool> returned{false};
        // The dialog's thread has a cause of its own; the box shows the
        // worker's.
        rtq::SetLastErrorFromErrno(ENOENT, "/dev/usb/lp0");
        std::thread worker([&] {
            dlg->ReportResult(1005);
            rtq::SetLastErrorFromErrno(EBUSY, "/dev/ttyUSB3");
            dlg->ReportResult(1017);
            returned.store(true);
        });
        QTRY_VERIFY(returned.load());
        worker.join();
        QCOMPARE(catcher.boxes.size(), size_t(2));
        QCOMPARE(catcher.boxes[0].text, QStringLiteral("Different CRC detected!"));
        QCOMPARE(boxThread, dlg->thread());
        QVERIFY2(catcher.boxes[1].informative.startsWith(
                     QStringLiteral("/dev/ttyUSB3: Device or resource busy.")),
                 qPrintable(catcher.boxes[1].informative));
        QCOMPARE(dlg->LastResult(), 1017);
        rtq::SetLastErrorText(std::string());
    }

    void theEnginesStopMessageBecomesABox() {
        ModalCatcher catcher;
        {
            auto dlg = ShownDialog();
            QVERIFY(dlg);
            rtq::ShowStopMessage("Error: Insufficient memory");
            QCOMPARE(catcher.boxes.size(), size_t(1));
            QCOMPARE(catcher.boxes[0].text, QStringLiteral("Error: Insufficient memory"));
            QCOMPARE(catcher.boxes[0].icon, QMessageBox::Critical);
        }
        // Gone with the dialog: back to the standard error stream.
        rtq::ShowStopMessage("Error: Insufficient memory");
        QTest::qWait(20);
        QCOMPARE(catcher.boxes.size(), size_t(1));
    }
};

QTEST_MAIN(ReportResultTest)
#include "report_result_test.moc"
