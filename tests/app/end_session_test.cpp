// The session ends (logout, SIGTERM) while the dialog is open: a run that
// can still be cancelled is, a run past that point is finished, no box
// waits for an operator who is gone, and the dialog then ends.

#include <csignal>

#include <QTimer>

#include "tests/ui/dialog_access.h"
#include "app/termination_signals.h"
#include "sim/sim_faults.h"
#include "tests/ui/flash_run_fixture.h"

using rtq::sim::CommandKind;
using rtq::sim::FaultRule;
using rtq::test::FlashRunFixture;
using rtq::test::Press;

namespace {

bool Ended(const CFlashDlg& dlg) { return !dlg.isVisible() && dlg.result() == kDialogEndCode; }

}  // namespace

class EndSessionTest : public QObject {
    Q_OBJECT

private slots:
    void beforeThePointOfNoReturnTheRunIsCancelled() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        // The printer does not answer the line check, so the run waits
        // where Cancel is still offered.
        f.printer.AddFault(FaultRule::Silent(CommandKind::LineCheck, 0));
        f.ChooseSerialFontRun();
        QVERIFY(!QTest::currentTestFailed());

        // Asked before the progress window is even open: it is cancelled
        // as soon as it offers Cancel.
        Press(FlashDlgTestAccess::m_btnFlash(*f.dlg));
        QVERIFY(f.dlg->IsBusy());
        f.dlg->OnEndSession();
        QVERIFY(f.dlg->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(Ended(*f.dlg), 20000);

        QCOMPARE(f.dlg->LastResult(), kResultCancelled);
        QCOMPARE(ExitStatusForResult(f.dlg->LastResult()), 27);
        QVERIFY(f.catcher.boxes.empty());
        QCOMPARE(f.printer.CommandCount(CommandKind::Erase), 0);
        QVERIFY(!f.backend.IsOpen("COM17"));
    }

    void pastThePointOfNoReturnTheRunIsFinished() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        f.ChooseSerialFontRun();
        QVERIFY(!QTest::currentTestFailed());

        bool asked = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            const auto& log = f.dlg->WorkerMessages();
            if (!asked && std::find(log.begin(), log.end(), WM_DISABLE_CANCEL) != log.end()) {
                asked = true;
                f.dlg->OnEndSession();
            }
        });
        watch.start(2);
        Press(FlashDlgTestAccess::m_btnFlash(*f.dlg));
        QTRY_VERIFY_WITH_TIMEOUT(Ended(*f.dlg), 20000);
        watch.stop();

        QVERIFY(asked);
        QCOMPARE(f.dlg->LastResult(), kResultSuccess);
        QVERIFY(f.catcher.boxes.empty());
        QCOMPARE(f.printer.ReadFlash(rtq::test::kFontAddress, f.file.size()), f.file);
        QVERIFY(!f.backend.IsOpen("COM17"));
    }

    void aSignalEndsAnIdleDialogAndClosesItsBoxes() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        CTerminationSignals termination([&](int) { f.dlg->OnEndSession(); });
        QVERIFY(termination.Installed());

        // About waits for the operator; the signal closes it, then the dialog.
        bool aboutShown = false;
        f.catcher.onOtherModal = [&](QWidget* w) {
            if (aboutShown) return;
            aboutShown = true;
            std::raise(SIGTERM);
            Q_UNUSED(w);
        };
        f.Click(IDC_ABOUT);
        QVERIFY(aboutShown);
        QTRY_VERIFY_WITH_TIMEOUT(Ended(*f.dlg), 5000);
        QCOMPARE(f.dlg->LastResult(), -1);
    }
};

QTEST_MAIN(EndSessionTest)
#include "end_session_test.moc"
