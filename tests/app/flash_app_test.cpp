// Start-up: one copy per executable name, the model table, the modal run
// and the exit status; and the real rtqflash started twice.

#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QPushButton>
#include <QTimer>

#include "tests/ui/dialog_access.h"
#include "app/flash_app.h"
#include "app/single_instance.h"
#include "tests/ui/dialog_fixture.h"
#include "tests/ui/modal_catcher.h"
#include "ui/flash_dlg.h"

using rtq::test::ModalCatcher;

namespace {

// Runs the application with an action on its dialog once the modal loop
// runs, then clicks Exit. Should the click not close it, the dialog is
// ended all the same (so that the run never hangs) and the test fails.
int RunApp(CFlashApp& app, std::function<void(CFlashDlg&)> action) {
    bool exitMissed = false;
    app.SetDialogReadyHook([action, &exitMissed](CFlashDlg& dlg) {
        QTimer::singleShot(0, &dlg, [&dlg, action, &exitMissed] {
            action(dlg);
            rtq::test::Press(FlashDlgTestAccess::m_btnExit(dlg));
            exitMissed = dlg.isVisible();
            if (exitMissed) dlg.OnExit();
        });
    });
    const bool again = app.InitInstance();
    Q_ASSERT(!again);
    if (exitMissed) QTest::qFail("Exit did not close the dialog", __FILE__, __LINE__);
    return app.ExitInstance();
}

QString PrivateFolder(QTemporaryDir& dir) {
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    return dir.path();
}

}  // namespace

class FlashAppTest : public QObject {
    Q_OBJECT

private slots:
    void closingAtOnceExitsWith255() {
        QTemporaryDir dir;
        CFlashApp app;
        app.SetInstanceName(QStringLiteral("closing"), PrivateFolder(dir));
        bool shown = false;
        const int status = RunApp(app, [&](CFlashDlg& dlg) {
            shown = dlg.isVisible();
        });
        QVERIFY(shown);
        QCOMPARE(app.m_nExitCode, -1);
        QCOMPARE(status, 255);
    }

    void exitStatusFollowsTheLastReport_data() {
        QTest::addColumn<QList<int>>("reports");
        QTest::addColumn<int>("lastResult");
        QTest::addColumn<int>("status");
        QTest::newRow("success") << QList<int>{1} << 1 << 0;
        QTest::newRow("failure after success") << QList<int>{1, 1003} << 1003 << 3;
        QTest::newRow("cancelled") << QList<int>{1027} << 1027 << 27;
        QTest::newRow("no message") << QList<int>{1031} << 1031 << 31;
        QTest::newRow("data file error") << QList<int>{1024} << 1024 << 24;
    }

    void exitStatusFollowsTheLastReport() {
        QFETCH(QList<int>, reports);
        QFETCH(int, lastResult);
        QFETCH(int, status);
        QTemporaryDir dir;
        CFlashApp app;
        app.SetInstanceName(QStringLiteral("reports"), PrivateFolder(dir));
        ModalCatcher catcher;
        const int got = RunApp(app, [&](CFlashDlg& dlg) {
            for (int code : reports) dlg.ReportResult(code);
        });
        QCOMPARE(app.m_nExitCode, lastResult);
        QCOMPARE(got, status);
        QCOMPARE(catcher.boxes.size(), size_t(reports.contains(1031) ? 0 : reports.size()));
    }

    void aBrokenTableSaysDataFileErrorAndEnds() {
        QTemporaryDir dir;
        CFlashApp app;
        app.SetInstanceName(QStringLiteral("broken"), PrivateFolder(dir));
        app.SetModelTableText("RTQ650,MAIN FIRMWARE,M,6");  // no full stop
        ModalCatcher catcher;
        bool ran = false;
        const int status = RunApp(app, [&](CFlashDlg&) { ran = true; });
        QVERIFY(!ran);
        QCOMPARE(catcher.boxes.size(), size_t(1));
        QCOMPARE(catcher.boxes[0].text, QStringLiteral("Data file error!"));
        QCOMPARE(catcher.boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(catcher.boxes[0].parent, nullptr);
        QCOMPARE(app.m_nExitCode, -1);
        QCOMPARE(status, 255);
    }

    void aSecondStartRaisesTheFirstAndEndsSilently() {
        QTemporaryDir dir;
        const QString folder = PrivateFolder(dir);
        CFlashApp first;
        first.SetInstanceName(QStringLiteral("twice"), folder);
        ModalCatcher catcher;
        int secondStatus = -1;
        bool restored = false;
        const int status = RunApp(first, [&](CFlashDlg& dlg) {
            dlg.setWindowState(Qt::WindowMinimized);
            CFlashApp second;
            second.SetInstanceName(QStringLiteral("twice"), folder);
            bool secondShowed = false;
            second.SetDialogReadyHook([&](CFlashDlg&) { secondShowed = true; });
            QVERIFY(!second.InitInstance());
            secondStatus = second.ExitInstance();
            QVERIFY(!secondShowed);
            QTRY_VERIFY(!(dlg.windowState() & Qt::WindowMinimized));
            restored = true;
        });
        QVERIFY(restored);
        QCOMPARE(secondStatus, 255);
        QCOMPARE(status, 255);
        QVERIFY(catcher.boxes.empty());
    }

    void theLockGoesWithItsHolderAndIsPerName() {
        QTemporaryDir dir;
        const QString folder = PrivateFolder(dir);
        auto holder = std::make_unique<CSingleInstance>(QStringLiteral("rtqflash"), folder);
        QVERIFY(holder->Acquire());
        QVERIFY(QFileInfo::exists(holder->SocketPath()));
        CSingleInstance same(QStringLiteral("rtqflash"), folder);
        QVERIFY(!same.Acquire());
        CSingleInstance other(QStringLiteral("rtqflash2"), folder);
        QVERIFY(other.Acquire());

        bool raised = false;
        holder->SetRaiseHandler([&] { raised = true; });
        QVERIFY(same.AskRunningCopyToRaise());
        QTRY_VERIFY(raised);

        holder.reset();
        // The socket a dead holder might leave behind does not stop the next one.
        QFile stale(QDir(folder).filePath(QStringLiteral("rtqflash.socket")));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QVERIFY(same.Acquire());
        bool raisedAgain = false;
        same.SetRaiseHandler([&] { raisedAgain = true; });
        CSingleInstance later(QStringLiteral("rtqflash"), folder);
        QVERIFY(!later.Acquire());
        QVERIFY(later.AskRunningCopyToRaise());
        QTRY_VERIFY(raisedAgain);
    }

    void theRealProgramRunsOnceAndIgnoresItsArguments() {
        const QString binary =
            QDir(qEnvironmentVariable("RTQ_TEST_BINARY_DIR")).filePath(QStringLiteral("app/rtqflash"));
        if (!QFileInfo(binary).isExecutable()) QSKIP("rtqflash is not built");
        QTemporaryDir dir;
        const QString folder = PrivateFolder(dir);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder);

        QProcess first;
        first.setProcessEnvironment(env);
        // Toolkit options would end the program at once (there is no display).
        first.start(binary, {QStringLiteral("/?"), QStringLiteral("-platform"), QStringLiteral("xcb")});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(QDir(folder).filePath(QStringLiteral("rtqflash.socket"))),
                                 10000);

        QProcess second;
        second.setProcessEnvironment(env);
        second.start(binary, {QStringLiteral("/?")});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 255);
        QVERIFY(second.readAllStandardOutput().isEmpty());

        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        QVERIFY(first.waitForFinished(10000));
    }
};

QTEST_MAIN(FlashAppTest)
#include "flash_app_test.moc"
