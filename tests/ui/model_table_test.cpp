// The model table in the dialog: the built-in text, refused texts, the
// type array and the mapping of a type text back to its kind.

#include <QAbstractButton>
#include <QTest>

#include "tests/ui/dialog_access.h"
#include "engine/sector_sizes.h"
#include "tests/ui/dialog_fixture.h"
#include "tests/ui/modal_catcher.h"
#include "ui/flash_dlg.h"

using rtq::test::Items;
using rtq::test::ModalCatcher;

class ModelTableTest : public QObject {
    Q_OBJECT

private slots:
    void builtInTableGivesOneModelAndFiveTypes() {
        CFlashDlg dlg;
        QCOMPARE(FlashDlgTestAccess::m_nModelStart(dlg), -1);
        QCOMPARE(FlashDlgTestAccess::m_nTypeCount(dlg), -1);
        QCOMPARE(dlg.ParseModelTable(), 0);
        QCOMPARE(FlashDlgTestAccess::m_lstFields(dlg).size(), size_t(17));
        QCOMPARE(FlashDlgTestAccess::m_lstFields(dlg).front(), std::string("RTQ650"));
        QCOMPARE(FlashDlgTestAccess::m_lstFields(dlg).at(7), std::string("CG FONT"));  // inner space kept
        QVERIFY(FlashDlgTestAccess::m_lstFields(dlg).back().empty());
        QCOMPARE(FlashDlgTestAccess::m_lstModelStarts(dlg), std::vector<std::string>({"0", ""}));
        QCOMPARE(dlg.SelectModel(), 1);
        QCOMPARE(FlashDlgTestAccess::m_aModels(dlg)[0].strStart, std::string("0"));
        QCOMPARE(FlashDlgTestAccess::m_aModels(dlg)[0].strName, std::string("RTQ650"));

        QCOMPARE(dlg.LoadDownloadTypes(), 1);
        QCOMPARE(FlashDlgTestAccess::m_nModelStart(dlg), 0);
        QCOMPARE(FlashDlgTestAccess::m_pSectorMap(dlg), g_aSectorSizes);
        QCOMPARE(FlashDlgTestAccess::m_nTypeCount(dlg), 5);
        const char* expected[5][3] = {{"MAIN FIRMWARE", "M", "6"}, {"IPL FIRMWARE", "I", "4"},
                                      {"CG FONT", "U", "20"},      {"PIN CODE", "P", "4"},
                                      {"FRIENDLY NAME", "F", "4"}};
        for (int t = 0; t < 5; ++t) {
            QCOMPARE(FlashDlgTestAccess::m_aTypes(dlg)[t].strName, std::string(expected[t][0]));
            QCOMPARE(FlashDlgTestAccess::m_aTypes(dlg)[t].strKind, std::string(expected[t][1]));
            QCOMPARE(FlashDlgTestAccess::m_aTypes(dlg)[t].strFirstSector, std::string(expected[t][2]));
        }
        QCOMPARE(Items(FlashDlgTestAccess::m_cbType(dlg)),
                 QStringList({"MAIN FIRMWARE", "IPL FIRMWARE", "CG FONT", "PIN CODE", "FRIENDLY NAME"}));
        QCOMPARE(FlashDlgTestAccess::m_cbType(dlg)->currentIndex(), -1);
    }

    void typeTextMapsBackToKindAndFirstSector() {
        CFlashDlg dlg;
        QCOMPARE(dlg.ParseModelTable(), 0);
        QCOMPARE(dlg.SelectModel(), 1);
        QCOMPARE(dlg.LoadDownloadTypes(), 1);
        struct Case {
            const char* text;
            DownloadKind kind;
            int sector;
        };
        const Case cases[] = {{"MAIN FIRMWARE", DownloadKind::MainFirmware, 6},
                              {"ipl firmware", DownloadKind::IplFirmware, 4},
                              {"Cg Font", DownloadKind::Font, 20},
                              {"pin code", DownloadKind::PinCode, 4},
                              {"FRIENDLY NAME", DownloadKind::FriendlyName, 4}};
        for (const Case& c : cases) {
            DownloadKind kind = DownloadKind::None;
            int sector = -1;
            QVERIFY2(dlg.FindDownloadType(c.text, &kind, &sector), c.text);
            QCOMPARE(kind, c.kind);
            QCOMPARE(sector, c.sector);
        }
        DownloadKind kind = DownloadKind::None;
        int sector = -1;
        QVERIFY(!dlg.FindDownloadType(std::string(), &kind, &sector));
        QVERIFY(!dlg.FindDownloadType("CG  FONT", &kind, &sector));
        QVERIFY(!dlg.FindDownloadType("CG FONT ", &kind, &sector));
        QCOMPARE(sector, -1);
    }

    void textWithoutItsFullStopIsRefusedWithoutReadingPastIt() {
        for (const char* text : {"RTQ650,MAIN FIRMWARE,M,6", "", "RTQ650,", "RTQ650"}) {
            CFlashDlg dlg;
            dlg.SetModelTableText(text);
            QVERIFY2(dlg.ParseModelTable() != 0, text);
        }
        // Whatever follows the full stop is not part of the model.
        CFlashDlg dlg;
        dlg.SetModelTableText(std::string("M,A,M,6.\0garbage", 16));
        QCOMPARE(dlg.ParseModelTable(), 0);
        QCOMPARE(FlashDlgTestAccess::m_lstFields(dlg), std::vector<std::string>({"M", "A", "M", "6", ""}));
    }

    void aFieldTooManyGivesDataFileErrorAndKeepsTheList() {
        const std::string table = "RTQ650,MAIN FIRMWARE,M,6,IPL FIRMWARE,I,4,EXTRA.";
        CFlashDlg dlg;
        dlg.SetModelTableText(table);
        QCOMPARE(dlg.ParseModelTable(), 0);
        QCOMPARE(dlg.SelectModel(), 1);
        ModalCatcher catcher;
        dlg.show();  // the first show initialises the dialog and loads the types
        QCOMPARE(catcher.boxes.size(), size_t(1));
        QCOMPARE(catcher.boxes[0].text, QStringLiteral("Data file error!"));
        QCOMPARE(catcher.boxes[0].icon, QMessageBox::Critical);
        QCOMPARE(dlg.LastResult(), 1024);
        QCOMPARE(FlashDlgTestAccess::m_cbType(dlg)->count(), 0);
        // A link click reports it again; its remaining steps still run.
        rtq::test::Press(dlg.Control(1041));
        QCOMPARE(catcher.boxes.size(), size_t(2));
        QCOMPARE(FlashDlgTestAccess::m_cbPort(dlg)->count(), 64);
        QVERIFY(FlashDlgTestAccess::m_cbType(dlg)->isEnabled());
    }

    void typeCapacityIsFifty() {
        auto tableOf = [](int types) {
            std::string t = "M";
            for (int i = 0; i < types; ++i) t += ",T" + std::to_string(i) + ",M,6";
            return t + ".";
        };
        CFlashDlg fifty;
        fifty.SetModelTableText(tableOf(50));
        QCOMPARE(fifty.ParseModelTable(), 0);
        FlashDlgTestAccess::m_nModelStart(fifty) = 0;
        QCOMPARE(fifty.LoadModelTypes(0), 1);
        QCOMPARE(FlashDlgTestAccess::m_aTypes(fifty)[49].strName, std::string("T49"));
        CFlashDlg more;
        more.SetModelTableText(tableOf(51));
        QCOMPARE(more.ParseModelTable(), 0);
        FlashDlgTestAccess::m_nModelStart(more) = 0;
        QCOMPARE(more.LoadModelTypes(0), 0);
    }

    void selectModelNeedsAParsedTable() {
        CFlashDlg never;
        QCOMPARE(never.SelectModel(), 0);
        CFlashDlg refused;
        refused.SetModelTableText("RTQ650");
        QVERIFY(refused.ParseModelTable() != 0);
        QCOMPARE(refused.SelectModel(), 0);
    }
};

QTEST_MAIN(ModelTableTest)
#include "model_table_test.moc"
