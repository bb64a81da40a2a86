// The main dialog's controls, texts, tips and layout; the About box; and
// screenshots of both for a person to look at.

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "tests/ui/dialog_access.h"
#include "tests/ui/dialog_fixture.h"
#include "tests/ui/modal_catcher.h"
#include "ui/about_dlg.h"
#include "ui/flash_dlg.h"
#include "ui/tool_tips.h"

using rtq::test::Items;
using rtq::test::ModalCatcher;
using rtq::test::Press;
using rtq::test::ShownDialog;

namespace {

QString ScreenshotPath(const QString& name) {
    const QByteArray root = qgetenv("RTQ_TEST_BINARY_DIR");
    QDir dir(root.isEmpty() ? QDir::currentPath() : QString::fromLocal8Bit(root));
    dir.mkpath(QStringLiteral("screenshots"));
    return dir.filePath(QStringLiteral("screenshots/") + name);
}

QStringList LabelTexts(const QWidget* w) {
    QStringList texts;
    for (const QLabel* l : w->findChildren<QLabel*>()) texts << l->text();
    return texts;
}

}  // namespace

class FlashDlgLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void controlsHaveTheirIdentifiersKindsAndTexts() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        struct Expect {
            int id;
            const char* kind;
            const char* text;
        };
        const Expect expected[] = {
            {1041, "QRadioButton", "Serial Port"}, {1042, "QRadioButton", "Bluetooth"},
            {1044, "QRadioButton", "USB Interface"}, {1012, "QComboBox", nullptr},
            {1013, "QComboBox", nullptr},          {1014, "QComboBox", nullptr},
            {1015, "QComboBox", nullptr},          {1016, "QComboBox", nullptr},
            {1017, "QLineEdit", nullptr},          {1018, "QLineEdit", nullptr},
            {1019, "QLineEdit", nullptr},          {1021, "QLineEdit", nullptr},
            {1040, "QLineEdit", nullptr},          {1020, "QPushButton", "Browse..."},
            {1, "QPushButton", "FLASH NOW"},       {100, "QPushButton", "About"},
            {1030, "QPushButton", "Exit"},
        };
        for (const Expect& e : expected) {
            QWidget* w = dlg->Control(e.id);
            QVERIFY2(w, qPrintable(QString::number(e.id)));
            QVERIFY2(w->inherits(e.kind), qPrintable(QString::number(e.id)));
            QCOMPARE(w->property("controlId").toInt(), e.id);
            QCOMPARE(w->objectName(), QStringLiteral("idc_%1").arg(e.id));
            QCOMPARE(dlg->findChild<QWidget*>(QStringLiteral("idc_%1").arg(e.id)), w);
            if (e.text) QCOMPARE(w->property("text").toString(), QString::fromLatin1(e.text));
        }
        QVERIFY(!dlg->Control(1043));

        QCOMPARE(Items(FlashDlgTestAccess::m_cbBaud(*dlg)), QStringList({"38400", "19200", "9600", "4800"}));
        QCOMPARE(Items(FlashDlgTestAccess::m_cbParity(*dlg)), QStringList({"NONE", "EVEN", "ODD"}));
        QCOMPARE(Items(FlashDlgTestAccess::m_cbStopBits(*dlg)), QStringList({"1", "2"}));
        // Drop-down lists: the operator picks, never types.
        for (int id : {1012, 1013, 1014, 1015, 1016})
            QVERIFY(!static_cast<QComboBox*>(dlg->Control(id))->isEditable());
        QVERIFY(FlashDlgTestAccess::m_editFile(*dlg)->isReadOnly());
        QCOMPARE(FlashDlgTestAccess::m_editPinCode(*dlg)->maxLength(), 16);
        QCOMPARE(FlashDlgTestAccess::m_editFriendlyName(*dlg)->maxLength(), 32);
        QVERIFY(FlashDlgTestAccess::m_btnFlash(*dlg)->isDefault());
        QCOMPARE(dlg->windowTitle(), QStringLiteral("RTQ650 Flash Utility V4.00"));
        QVERIFY(!dlg->windowIcon().isNull());
        QVERIFY(!dlg->windowIcon().pixmap(32).isNull());
        QVERIFY(!(dlg->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(dlg->windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    void staticTextsAndFrames() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        const QStringList labels = LabelTexts(dlg.get());
        for (const char* t : {"Download Type : ", "Port :", "Baud Rate :", "Parity Bit :", "Stop Bit :",
                              "Data Bit :", "Data Flow :", "Pin Code:", "Friendly Name"})
            QVERIFY2(labels.contains(QString::fromLatin1(t)), t);
        QVERIFY(labels.contains(QStringLiteral(
            "Caution:\nPlease do not stop the data transmission\nwhile it is flashing the "
            "product's memory, \nas it may cause serious damage to the\nproduct.")));
        QStringList groups;
        for (const QGroupBox* g : dlg->findChildren<QGroupBox*>()) groups << g->title();
        groups.sort();
        QCOMPARE(groups, QStringList({"", " Properties", "Communication port"}));
    }

    void tipsByControlIdentifier() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        // Every control the dialog holds, found by its identifier, carries
        // the tip the table gives that identifier, and nothing else does.
        int controls = 0, tipped = 0;
        for (const QWidget* w : dlg->findChildren<QWidget*>()) {
            const QVariant id = w->property("controlId");
            if (!id.isValid()) continue;
            ++controls;
            QCOMPARE(dlg->Control(id.toInt()), w);
            QCOMPARE(w->toolTip(), ToolTipForControl(id.toInt()));
            if (!w->toolTip().isEmpty()) ++tipped;
        }
        QVERIFY(controls >= 17);
        QVERIFY(tipped > 0 && tipped < controls);
        QVERIFY(!dlg->Control(1)->toolTip().isEmpty());
    }

    void layoutFollowsTheDialogUnits() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        const CDialogUnits& du = dlg->Units();
        QVERIFY(du.BaseX() > 0 && du.BaseY() > 0);
        QCOMPARE(dlg->size(), QSize(du.X(321), du.Y(248)));
        QCOMPARE(dlg->minimumSize(), dlg->maximumSize());
        QCOMPARE(dlg->Control(1017)->geometry(), du.Rect(191, 68, 72, 12));
        QCOMPARE(dlg->Control(1)->geometry(), du.Rect(218, 89, 61, 14));
        QCOMPARE(dlg->Control(1030)->geometry(), du.Rect(276, 227, 36, 13));
        const int listY[] = {68, 83, 98, 114, 130};
        for (int i = 0; i < 5; ++i) {
            const QRect r = dlg->Control(1012 + i)->geometry();
            QCOMPARE(r.topLeft(), QPoint(du.X(80), du.Y(listY[i])));
            QCOMPARE(r.width(), du.X(81));
        }
        QCOMPARE(dlg->Control(1040)->geometry().width(), du.X(79));
        // The link buttons sit in one row inside their frame.
        for (int id : {1041, 1042, 1044}) QCOMPARE(dlg->Control(id)->y(), du.Y(24));
        QCOMPARE(dlg->Control(1041)->x(), du.X(69));
        QCOMPARE(dlg->Control(1042)->x(), du.X(132));
        QCOMPARE(dlg->Control(1044)->x(), du.X(196));
    }

    void textsFitTheirControls() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        const QRect client = dlg->rect();
        for (QWidget* w : dlg->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!w->isVisible()) continue;
            QVERIFY2(client.contains(w->geometry()), qPrintable(w->objectName()));
        }
        for (int id : {1041, 1042, 1044, 1020, 1, 100, 1030}) {
            QWidget* w = dlg->Control(id);
            const QString text = w->property("text").toString();
            QVERIFY2(w->fontMetrics().horizontalAdvance(text) < w->width(), qPrintable(text));
        }
        for (QLabel* l : dlg->findChildren<QLabel*>()) {
            if (l->wordWrap()) {
                QVERIFY2(l->heightForWidth(l->width()) <= l->height(), qPrintable(l->text()));
            } else {
                QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->width(), qPrintable(l->text()));
            }
        }
    }

    void aboutBoxShowsProductMakerAndPicture() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        ModalCatcher catcher;
        bool seen = false;
        catcher.onOtherModal = [&](QWidget* w) {
            auto* about = qobject_cast<CAboutDlg*>(w);
            if (!about) return;
            seen = true;
            QCOMPARE(about->windowTitle(), QStringLiteral("About RTQ650 Flash Utility"));
            const QStringList texts = LabelTexts(about);
            QVERIFY(texts.contains(QStringLiteral("RTQ650 Flash Utility V4.00")));
            QVERIFY(texts.contains(QStringLiteral("Corvane")));
            const QLabel* picture = about->findChild<QLabel*>(QStringLiteral("about_bitmap"));
            QVERIFY(picture && !picture->pixmap().isNull());
            // Product, maker and one line more, beside the picture.
            QCOMPARE(texts.size(), 4);
            for (const QLabel* l : about->findChildren<QLabel*>()) {
                QVERIFY2(about->rect().contains(l->geometry()), qPrintable(l->text()));
                QVERIFY2(l->fontMetrics().horizontalAdvance(l->text()) <= l->width(), qPrintable(l->text()));
            }
            QVERIFY(about->grab().save(ScreenshotPath(QStringLiteral("about_dialog.png"))));
            Press(about->findChild<QPushButton*>());
        };
        Press(dlg->Control(100));
        QVERIFY(seen);
        QVERIFY(catcher.boxes.empty());
    }

    void screenshotOfTheMainDialog() {
        auto dlg = ShownDialog();
        QVERIFY(dlg);
        QVERIFY(dlg->grab().save(ScreenshotPath(QStringLiteral("main_dialog_start.png"))));
        Press(dlg->Control(1041));
        rtq::test::Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("MAIN FIRMWARE"));
        rtq::test::Choose(FlashDlgTestAccess::m_cbPort(*dlg), QStringLiteral("COM17"));
        QVERIFY(dlg->grab().save(ScreenshotPath(QStringLiteral("main_dialog.png"))));
    }
};

QTEST_MAIN(FlashDlgLayoutTest)
#include "flash_dlg_layout_test.moc"
