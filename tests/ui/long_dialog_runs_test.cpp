// Fifty runs in a row from FLASH NOW, on the fast clock: the dialog holds
// as many threads, descriptors and widgets after the last as after the
// first.

#include <dirent.h>

#include <cstdio>

#include "tests/ui/flash_run_fixture.h"

using rtq::test::FlashRunFixture;

namespace {

int Entries(const char* folder) {
    int n = 0;
    if (DIR* d = opendir(folder)) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

struct Usage {
    int threads = Entries("/proc/self/task");
    int descriptors = Entries("/proc/self/fd");
    qsizetype widgets = QApplication::allWidgets().size();
};

}  // namespace

class LongDialogRunsTest : public QObject {
    Q_OBJECT

private slots:
    void fiftyRunsLeaveNothingBehind() {
        FlashRunFixture f;
        QVERIFY(f.dlg);
        f.ChooseSerialFontRun();
        QVERIFY(!QTest::currentTestFailed());

        constexpr int kRuns = 50;
        Usage first;
        for (int run = 1; run <= kRuns; ++run) {
            f.FlashNowAndWait(size_t(run));
            QVERIFY(!QTest::currentTestFailed());
            QCOMPARE(f.catcher.boxes.back().text, QStringLiteral("Download successfully completed!"));
            // The progress window deletes itself from the event loop.
            QTRY_VERIFY(!FlashRunFixture::OpenProgressWindow());
            QTest::qWait(0);
            if (run == 1) first = Usage();
        }
        QTRY_COMPARE(Usage().widgets, first.widgets);
        const Usage last;
        std::printf("after run 1: %d threads, %d descriptors, %lld widgets\n", first.threads,
                    first.descriptors, static_cast<long long>(first.widgets));
        std::printf("after run %d: %d threads, %d descriptors, %lld widgets\n", kRuns,
                    last.threads, last.descriptors, static_cast<long long>(last.widgets));
        QCOMPARE(last.threads, first.threads);
        QCOMPARE(last.descriptors, first.descriptors);
        QCOMPARE(f.printer.CommandCount(rtq::sim::CommandKind::Data), kRuns);
    }
};

QTEST_MAIN(LongDialogRunsTest)
#include "long_dialog_runs_test.moc"
