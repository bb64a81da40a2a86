// Whole serial runs started by FLASH NOW against the simulated printer:
// the message sequence, the result, the flash content, the progress
// window over the modal main dialog, Cancel, the focus after a run, and
// the leftovers of a run that failed in its set-up.

#include <QDir>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "tests/ui/dialog_access.h"
#include "sim/sim_faults.h"
#include "tests/ui/flash_run_fixture.h"

using rtq::sim::CommandKind;
using rtq::sim::FaultRule;
using rtq::test::FlashRunFixture;
using rtq::test::KeyTo;
using rtq::test::Press;

namespace {

int IndexOf(const std::vector<UINT>& v, UINT m) {
    const auto it = std::find(v.begin(), v.end(), m);
    return it == v.end() ? -1 : int(it - v.begin());
}

QPushButton* CancelButton(CTransmitDlg* t) {
    return t->findChild<QPushButton*>(QStringLiteral("idc_%1").arg(CTransmitDlg::IDC_CANCEL));
}

}  // namespace

class FlashNowRunTest : public QObject {
    Q_OBJECT

private slots:
    void wholeSerialRunFromFlashNowToItsResult() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        f.ChooseSerialFontRun();
        QVERIFY(!QTest::currentTestFailed());

        // Watch the progress window while the run goes on.
        bool sawCancelEnabled = false;
        bool cancelEnabledAfterDisable = false;
        bool shot = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            CTransmitDlg* t = f.dlg->ProgressDlg();
            if (!t) return;
            const auto& log = f.dlg->WorkerMessages();
            const bool disabled = IndexOf(log, WM_DISABLE_CANCEL) >= 0;
            if (!disabled && CancelButton(t)->isEnabled()) sawCancelEnabled = true;
            if (disabled && CancelButton(t)->isEnabled()) cancelEnabledAfterDisable = true;
            auto* bar = t->findChild<QProgressBar*>();
            if (!shot && disabled && bar && bar->value() > 0 &&
                t->findChild<QGroupBox*>()->title().contains(QStringLiteral("sector"))) {
                const QString folder =
                    qEnvironmentVariable("RTQ_TEST_BINARY_DIR", ".") + "/screenshots";
                QDir().mkpath(folder);
                shot = t->grab().save(folder + "/progress_dialog.png");
            }
        });
        watch.start(2);

        f.FlashNowAndWait(1);
        QVERIFY(!QTest::currentTestFailed());
        watch.stop();

        QCOMPARE(f.catcher.boxes[0].text, QStringLiteral("Download successfully completed!"));
        QCOMPARE(int(f.catcher.boxes[0].icon), int(QMessageBox::Information));
        QCOMPARE(f.dlg->LastResult(), 1);

        // OPEN, progress (with one DISABLE_CANCEL), CLOSE, DONE, ENABLE.
        const std::vector<UINT> m = f.FoldedMessages();
        QVERIFY(m.size() >= 6);
        QCOMPARE(m.front(), WM_OPEN_PROGRESS);
        QCOMPARE(std::vector<UINT>(m.end() - 3, m.end()),
                 (std::vector<UINT>{WM_CLOSE_PROGRESS, WM_DOWNLOAD_DONE, WM_ENABLE_CONTROLS}));
        const int disable = IndexOf(m, WM_DISABLE_CANCEL);
        QVERIFY(disable > 1);
        QCOMPARE(std::count(m.begin(), m.end(), WM_DISABLE_CANCEL), 1);
        QCOMPARE(m[1], WM_UPDATE_PROGRESS);
        for (size_t i = 1; i + 3 < m.size(); ++i)
            QVERIFY2(FlashRunFixture::IsProgress(m[i]) || int(i) == disable,
                     qPrintable(QString::number(m[i])));
        QCOMPARE(std::count(m.begin(), m.end(), WM_OPEN_PROGRESS), 1);

        // Cancel was offered until the line check passed, never after.
        QVERIFY(sawCancelEnabled);
        QVERIFY(!cancelEnabledAfterDisable);
        QVERIFY(shot);

        // What the printer holds is the file, and the port is closed.
        QCOMPARE(f.printer.ReadFlash(rtq::test::kFontAddress, f.file.size()), f.file);
        QCOMPARE(f.printer.WrittenSectors(), (std::vector<int>{20}));
        QVERIFY(!f.backend.IsOpen("COM17"));
        QCOMPARE(f.backend.Opens().front(), std::string("\\\\.\\COM17"));

        // Unlocked for the serial link; the run's objects and window gone.
        QCOMPARE(f.EnabledIds(), FlashRunFixture::SerialIdle());
        QVERIFY(!FlashDlgTestAccess::m_run(*f.dlg).pPrinter);
        QVERIFY(!FlashDlgTestAccess::m_run(*f.dlg).pThread);
        QVERIFY(!f.dlg->ProgressDlg());
        QTRY_VERIFY(!FlashRunFixture::OpenProgressWindow());
        QCOMPARE(g_bCancelled.load(), 0);

        // The focus is back on FLASH NOW: Enter starts the next run.
        QCOMPARE(f.dlg->focusWidget(), static_cast<QWidget*>(FlashDlgTestAccess::m_btnFlash(*f.dlg)));
        KeyTo(f.dlg.get(), Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(f.catcher.boxes.size() == 2 && !f.dlg->IsBusy(), 20000);
        QCOMPARE(f.catcher.boxes[1].text, QStringLiteral("Download successfully completed!"));
        QCOMPARE(f.printer.CommandCount(CommandKind::Data), 2);

        // Closing the dialog leaves the last result as the exit status.
        f.Click(IDC_EXIT);
        QVERIFY(!f.dlg->isVisible());
        QCOMPARE(f.dlg->result(), kDialogEndCode);
        QCOMPARE(ExitStatusForResult(f.dlg->LastResult()), 0);
    }

    void cancelBeforeTheLineCheckPassesReports1027() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        f.printer.AddFault(FaultRule::Silent(CommandKind::LineCheck, 0));
        f.ChooseSerialFontRun();
        QVERIFY(!QTest::currentTestFailed());

        Press(FlashDlgTestAccess::m_btnFlash(*f.dlg));
        QTRY_VERIFY_WITH_TIMEOUT(f.dlg->ProgressDlg() && f.printer.CommandCount(CommandKind::LineCheck) > 0,
                                 10000);
        CTransmitDlg* progress = f.dlg->ProgressDlg();
        QPushButton* cancel = CancelButton(progress);
        QVERIFY(cancel->isEnabled());
        // A click the window system delivers, while the main dialog is modal.
        QVERIFY(f.dlg->isModal());
        Press(cancel);
        QCOMPARE(g_bCancelled.load(), 1);
        // A window of its own that belongs to the main dialog, over its middle.
        QVERIFY(progress->isWindow());
        QCOMPARE(progress->parentWidget(), static_cast<QWidget*>(f.dlg.get()));
        QCOMPARE(progress->windowHandle()->transientParent(), f.dlg->windowHandle());
        QVERIFY(f.dlg->geometry().contains(progress->geometry()));
        QVERIFY((progress->geometry().center() - f.dlg->geometry().center()).manhattanLength() <= 2);
        // The window stays, frozen, until the run has stopped.
        QVERIFY(f.dlg->ProgressDlg() && f.dlg->ProgressDlg()->isVisible());

        QTRY_VERIFY_WITH_TIMEOUT(f.catcher.boxes.size() == 1 && !f.dlg->IsBusy(), 20000);
        QCOMPARE(f.catcher.boxes[0].text,
                 QStringLiteral("Application was terminated by Cancel button!"));
        QCOMPARE(f.dlg->LastResult(), kResultCancelled);
        // Nothing was written to the flash.
        QCOMPARE(f.printer.CommandCount(CommandKind::Erase), 0);
        QVERIFY(!f.backend.IsOpen("COM17"));
        QCOMPARE(f.EnabledIds(), FlashRunFixture::SerialIdle());
        QTRY_VERIFY(!FlashRunFixture::OpenProgressWindow());

        // The flag went with the run it stopped: the next run counts on its own.
        QCOMPARE(g_bCancelled.load(), 0);
        f.printer.ClearFaults();
        f.FlashNowAndWait(2);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(f.catcher.boxes[1].text, QStringLiteral("Download successfully completed!"));
        QCOMPARE(f.printer.ReadFlash(rtq::test::kFontAddress, f.file.size()), f.file);
    }

    void aSetUpFailureLeavesNothingBehindForTheNextRun() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        f.ChooseSerialFontRun();
        QVERIFY(!QTest::currentTestFailed());
        // The port does not open: the worker reports it itself.
        f.backend.SetOpenFails(true);
        f.FlashNowAndWait(1);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(f.catcher.boxes[0].text, QStringLiteral("Unable to get serial port handle!"));
        QCOMPARE(f.dlg->WorkerMessages(), (std::vector<UINT>{WM_ENABLE_CONTROLS}));
        QCOMPARE(f.EnabledIds(), FlashRunFixture::SerialIdle());

        // The next FLASH NOW takes the ended run's objects away and runs.
        f.backend.SetOpenFails(false);
        f.FlashNowAndWait(2);
        QVERIFY(!QTest::currentTestFailed());
        QCOMPARE(f.catcher.boxes[1].text, QStringLiteral("Download successfully completed!"));
        QVERIFY(!FlashDlgTestAccess::m_run(*f.dlg).pPrinter && !FlashDlgTestAccess::m_run(*f.dlg).pThread);

        // Failing again and closing the dialog: the destructor reaps them.
        f.backend.SetOpenFails(true);
        f.FlashNowAndWait(3);
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(FlashDlgTestAccess::m_run(*f.dlg).pPrinter && FlashDlgTestAccess::m_run(*f.dlg).pThread);
    }
};

QTEST_MAIN(FlashNowRunTest)
#include "flash_now_run_test.moc"
