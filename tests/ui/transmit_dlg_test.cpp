#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <memory>
#include <vector>

#include "platform/clock.h"
#include "ports/port_state.h"
#include "tests/ui/dialog_fixture.h"
#include "ui/dialog_units.h"
#include "ui/transmit_dlg.h"

using rtq::test::KeyTo;
using rtq::test::Press;

namespace {

QGroupBox* Group(QWidget* d) { return d->findChild<QGroupBox*>("idc_1022"); }
QProgressBar* Bar(QWidget* d) { return d->findChild<QProgressBar*>("idc_1021"); }
QPushButton* Cancel(QWidget* d) { return d->findChild<QPushButton*>("idc_1046"); }

std::vector<int> RefreshAndRead(CTransmitDlg& dlg, int times) {
    std::vector<int> shown;
    for (int i = 0; i < times; ++i) {
        dlg.Refresh();
        shown.push_back(Bar(&dlg)->value());
    }
    return shown;
}

}  // namespace

class TransmitDlgTest : public QObject {
    Q_OBJECT

    // The refresher's 500 ms become 50 ms.
    rtq::ScaledClock m_clock{10};
    std::unique_ptr<rtq::ScopedClock> m_use;

private slots:
    void init() {
        g_bCancelled = 0;
        m_use = std::make_unique<rtq::ScopedClock>(m_clock);
    }
    void cleanup() {
        m_use.reset();
        g_bCancelled = 0;
    }

    void layoutTextsAndIds() {
        CTransmitDlg dlg;
        QCOMPARE(dlg.windowTitle(), QString("RTQ650 Flash Utility - On Transmission..."));
        QVERIFY(!dlg.parent() && !dlg.isModal() && !dlg.isVisible());
        const CDialogUnits du(DialogFont());
        QCOMPARE(dlg.size(), QSize(du.X(192), du.Y(87)));
        QVERIFY(!(dlg.windowFlags() & Qt::WindowCloseButtonHint));
        QCOMPARE(Group(&dlg)->property("controlId").toInt(), 1022);
        QCOMPARE(Bar(&dlg)->property("controlId").toInt(), 1021);
        QCOMPARE(Cancel(&dlg)->property("controlId").toInt(), 1046);
        QCOMPARE(Group(&dlg)->title(), QString(" Percent: "));
        QCOMPARE(Cancel(&dlg)->text(), QString("Cancel"));
        QCOMPARE(Group(&dlg)->geometry(), du.Rect(7, 7, 178, 73));
        QCOMPARE(Bar(&dlg)->geometry(), du.Rect(15, 32, 158, 14));
        QCOMPARE(Cancel(&dlg)->geometry(), du.Rect(123, 56, 50, 14));
    }

    void openShowsAnEmptyWindowUntilTheFirstUpdate() {
        CTransmitDlg dlg;
        dlg.Open(false);
        QVERIFY(dlg.isVisible() && dlg.RefresherRunning());
        QVERIFY(!Cancel(&dlg)->isEnabled());
        QTest::qWait(150);  // a few refreshes of the initial values
        QCOMPARE(Group(&dlg)->title(), QString());
        QCOMPARE(Bar(&dlg)->value(), 0);

        // The refresher pushes new values and creeps forward by itself.
        dlg.SetStatusText(std::string("Switching printer to download..."));
        dlg.SetStep(1000);
        dlg.SetRangePos(10000, 2500);
        QTRY_COMPARE(Group(&dlg)->title(), QString("Switching printer to download..."));
        QCOMPARE(Bar(&dlg)->maximum(), 10000);
        QTRY_VERIFY(Bar(&dlg)->value() >= 5500);
        dlg.Close();
    }

    void autoStepAdvancesUpToTheRangeAndTheBarClamps() {
        CTransmitDlg dlg;  // no refresher: Refresh by hand
        dlg.SetRangePos(65536, 0);
        dlg.SetStep(16000);
        QCOMPARE(RefreshAndRead(dlg, 7),
                 (std::vector<int>{0, 16000, 32000, 48000, 64000, 65536, 65536}));
        QCOMPARE(dlg.Pos(), 80000);  // passed the range once, then held

        dlg.SetAutoStep(0);
        dlg.SetRangePos(65536, 100);
        QCOMPARE(RefreshAndRead(dlg, 3), (std::vector<int>{100, 100, 100}));

        // Compared as unsigned, a negative position is never stepped; an
        // empty range shows an empty bar, not a busy one.
        dlg.SetAutoStep(1);
        dlg.SetRangePos(65536, -1);
        QCOMPARE(RefreshAndRead(dlg, 2), (std::vector<int>{0, 0}));
        QCOMPARE(dlg.Pos(), -1);
        dlg.SetRangePos(0, 0);
        dlg.Refresh();
        QVERIFY(Bar(&dlg)->maximum() > Bar(&dlg)->minimum());
    }

    void enterAndADisabledCancelDoNothing() {
        CTransmitDlg dlg;
        dlg.Open(true);
        KeyTo(&dlg, Qt::Key_Return);
        QTest::keyClick(dlg.windowHandle(), Qt::Key_Enter, Qt::KeypadModifier);
        Cancel(&dlg)->setFocus();
        KeyTo(&dlg, Qt::Key_Return);
        QVERIFY(dlg.isVisible() && !dlg.IsStopped());

        dlg.EnableCancel(0);  // as after the line check
        Press(Cancel(&dlg));
        KeyTo(&dlg, Qt::Key_Escape);
        dlg.close();
        QVERIFY(dlg.isVisible() && !dlg.IsStopped());
        QCOMPARE(g_bCancelled.load(), 0);
        dlg.Close();
    }

    void cancelFreezesTheDisplayAndRaisesTheFlag() {
        for (bool byEscape : {false, true}) {
            g_bCancelled = 0;
            CTransmitDlg dlg;
            dlg.Open(true);
            dlg.SetRangePos(65536, 1000);
            dlg.SetAutoStep(0);
            QTRY_COMPARE(Bar(&dlg)->value(), 1000);
            if (byEscape)
                KeyTo(&dlg, Qt::Key_Escape);
            else
                Press(Cancel(&dlg));
            QCOMPARE(g_bCancelled.load(), 1);
            QVERIFY(dlg.IsStopped() && dlg.isVisible());  // stays until the run ends

            dlg.SetRangePos(65536, 30000);
            QTest::qWait(200);  // several refresh periods
            QCOMPARE(Bar(&dlg)->value(), 1000);
            dlg.Close();
        }
    }

    void closeEndsTheRefresherAtOnceThenTheObjectGoes() {
        m_use.reset();  // real 500 ms periods
        QPointer<CTransmitDlg> dlg = new CTransmitDlg;
        dlg->Open(false);
        QTest::qWait(50);  // the refresher is in its pause now
        QElapsedTimer timer;
        timer.start();
        dlg->Close();
        QVERIFY2(timer.elapsed() < 250, "closing must not wait out the pause");
        QVERIFY(!dlg->RefresherRunning() && !dlg->isVisible());
        QTRY_VERIFY(dlg.isNull());

        // Deleted while open: the refresher is stopped first (sanitizers).
        auto* open = new CTransmitDlg;
        open->Open(true);
        QTest::qWait(20);
        delete open;
    }

    void screenshotMidRun() {
        CTransmitDlg dlg;
        dlg.Open(true);
        dlg.SetAutoStep(0);
        dlg.SetStatusText(std::string("Downloading data to flash sector 2 of 3..."));
        dlg.SetRangePos(65536, 40000);
        QTRY_COMPARE(Bar(&dlg)->value(), 40000);
        const QString dir = qEnvironmentVariable("RTQ_TEST_BINARY_DIR", ".") + "/screenshots";
        QDir().mkpath(dir);
        QVERIFY(dlg.grab().save(dir + "/transmit_dlg.png"));
        dlg.Close();
    }
};

QTEST_MAIN(TransmitDlgTest)
#include "transmit_dlg_test.moc"
