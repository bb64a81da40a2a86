// The private runtime folder made when the session sets none: created 0700,
// reused when it is ours, never trusted when it may be someone else's; and
// the real program started without one warns about nothing.

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <string>

#include "app/runtime_folder.h"

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

}  // namespace

class RuntimeFolderTest : public QObject {
    Q_OBJECT

private slots:
    void madePrivateThenReused() {
        QTemporaryDir base;
        QVERIFY(base.isValid());
        const std::string root = base.path().toStdString();
        const std::string expected = root + "/rtqflash-runtime-" + std::to_string(::getuid());
        const mode_t oldMask = ::umask(0077 | 0200);  // a umask that takes the owner's write bit
        const std::string made = rtq::MakePrivateRuntimeFolder(root, ::getuid());
        ::umask(oldMask);
        QCOMPARE(made, expected);
        QCOMPARE(ModeOf(made), mode_t(0700));
        QCOMPARE(rtq::MakePrivateRuntimeFolder(root, ::getuid()), expected);
    }

    void whatMayBeSomeoneElsesIsLeftAlone_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("open to others") << "mode 0755";
        QTest::newRow("a link to a private folder") << "link";
        QTest::newRow("a file") << "file";
        QTest::newRow("another owner") << "owner";
    }

    void whatMayBeSomeoneElsesIsLeftAlone() {
        QFETCH(QString, kind);
        QTemporaryDir base;
        QVERIFY(base.isValid());
        const std::string root = base.path().toStdString();
        const std::string fixed = root + "/rtqflash-runtime-" + std::to_string(::getuid());
        if (kind == "mode 0755") {
            QCOMPARE(::mkdir(fixed.c_str(), 0700), 0);
            QCOMPARE(::chmod(fixed.c_str(), 0755), 0);
        } else if (kind == "link") {
            const std::string target = root + "/elsewhere";
            QCOMPARE(::mkdir(target.c_str(), 0700), 0);
            QCOMPARE(::symlink(target.c_str(), fixed.c_str()), 0);
        } else if (kind == "file") {
            QFile file(QString::fromStdString(fixed));
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else {
            if (::geteuid() != 0) QSKIP("handing a folder to another owner needs root");
            QCOMPARE(::mkdir(fixed.c_str(), 0700), 0);
            QCOMPARE(::chown(fixed.c_str(), ::getuid() + 4242, static_cast<gid_t>(-1)), 0);
        }
        const mode_t before = ModeOf(fixed);

        const std::string made = rtq::MakePrivateRuntimeFolder(root, ::getuid());
        QVERIFY2(made.rfind(fixed + "-", 0) == 0, made.c_str());
        QCOMPARE(ModeOf(made), mode_t(0700));
        QCOMPARE(ModeOf(fixed), before);  // untouched
        // Each start that finds it so makes a fresh one.
        QVERIFY(rtq::MakePrivateRuntimeFolder(root, ::getuid()) != made);
    }

    void aSetFolderIsUsedAsItIs() {
        QTemporaryDir set;
        QVERIFY(set.isValid());
        const QByteArray own = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", set.path().toLocal8Bit());
        rtq::EnsureRuntimeFolder();
        const QString used = qEnvironmentVariable("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", own);
        QCOMPARE(used, set.path());
    }

    void theRealProgramWithoutOneWarnsAboutNothing() {
        const QString binary =
            QDir(qEnvironmentVariable("RTQ_TEST_BINARY_DIR")).filePath(QStringLiteral("app/rtqflash"));
        if (!QFileInfo(binary).isExecutable()) QSKIP("rtqflash is not built");
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        env.insert(QStringLiteral("TMPDIR"), tmp.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(binary, {});
        QVERIFY(program.waitForStarted());
        // The single-instance socket appears in the folder it made.
        const QString folder =
            tmp.filePath(QStringLiteral("rtqflash-runtime-%1").arg(::getuid()));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(folder + QStringLiteral("/rtqflash.socket")), 10000);
        QCOMPARE(ModeOf(folder.toStdString()), mode_t(0700));
        program.kill();
        QVERIFY(program.waitForFinished(10000));
        const QByteArray errors = program.readAllStandardError();
        QVERIFY2(!errors.contains("XDG_RUNTIME_DIR"), errors.constData());
    }
};

QTEST_MAIN(RuntimeFolderTest)
#include "runtime_folder_test.moc"
