#pragma once
// A main dialog wired to an in-process simulated printer behind COM17, on a
// scaled clock, with a data file in a temporary folder and the helpers
// that play the operator's part of FLASH NOW.

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "engine/result_codes.h"
#include "engine/run_settings.h"
#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "sim/sim_printer.h"
#include "tests/support/sim_serial_backend.h"
#include "tests/ui/dialog_fixture.h"
#include "tests/ui/modal_catcher.h"
#include "dialog/control_ids.h"
#include "ui/flash_dlg.h"
#include "ui/transmit_dlg.h"
#include "tests/ui/dialog_access.h"

namespace rtq::test {

// Fast enough for a whole download in well under a second, slow enough
// that the threads still interleave as they would in real time.
constexpr int kClockFactor = 100;
// Font files start at flash sector 20.
constexpr uint32_t kFontAddress = 0x100000;
constexpr size_t kSectorBytes = 65536;

// One sector of font data: the tag, then a pattern that is not 0xFF.
inline std::vector<uint8_t> FontImage(size_t size = kSectorBytes) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + 3) % 251);
    const char tag[] = "MB01";
    std::copy(tag, tag + std::min<size_t>(4, size), bytes.begin());
    return bytes;
}

class FlashRunFixture {
public:
    FlashRunFixture() {
        backend.AddDevice("COM17", printer);
        g_bCancelled = 0;
        g_bUsbLink = 0;
        dlg = ShownDialog();
    }
    ~FlashRunFixture() {
        // A test that failed in the middle of a run stops the run before
        // the dialog goes.
        if (dlg && dlg->IsBusy()) {
            g_bCancelled = 1;
            (void)QTest::qWaitFor([this] { return !dlg->IsBusy(); }, 30000);
        }
        dlg.reset();
        g_bUsbLink = 0;
        g_bCancelled = 0;
        g_bPinCodeRun = 0;
        g_bFriendlyNameRun = 0;
    }

    std::string WriteFile(const QString& name, const std::vector<uint8_t>& bytes) {
        const QString path = dir.filePath(name);
        std::ofstream(path.toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path.toStdString();
    }

    // What Browse leaves behind once the operator picked a file.
    void UseFile(const QString& path) {
        FlashDlgTestAccess::UseFile(*dlg, path);
    }

    void Click(int id) { Press(dlg->Control(id)); }

    // Serial link, COM17, CG FONT, and a one-sector font file.
    void ChooseSerialFontRun() {
        Click(IDC_SERIAL);
        Choose(FlashDlgTestAccess::m_cbPort(*dlg), QStringLiteral("COM17"));
        Choose(FlashDlgTestAccess::m_cbType(*dlg), QStringLiteral("CG FONT"));
        file = FontImage();
        UseFile(QString::fromStdString(WriteFile(QStringLiteral("font.bin"), file)));
    }

    // Presses FLASH NOW and waits until the dialog is unlocked again and
    // the expected number of boxes was shown and closed.
    void FlashNowAndWait(size_t boxes) {
        Press(FlashDlgTestAccess::m_btnFlash(*dlg));
        QTRY_VERIFY_WITH_TIMEOUT(catcher.boxes.size() >= boxes && !dlg->IsBusy(), 20000);
        QCOMPARE(catcher.boxes.size(), boxes);
    }

    // The handled messages with runs of the same progress message folded.
    std::vector<UINT> FoldedMessages() const {
        std::vector<UINT> folded;
        for (UINT m : dlg->WorkerMessages())
            if (folded.empty() || folded.back() != m || !IsProgress(m)) folded.push_back(m);
        return folded;
    }

    static bool IsProgress(UINT m) {
        return m == WM_UPDATE_PROGRESS || m == WM_SET_PROGRESS_RANGE || m == WM_SET_AUTO_STEP;
    }

    // Ids of the enabled controls, sorted.
    QList<int> EnabledIds() const {
        QList<int> ids;
        for (int id : {IDOK_FLASH, IDC_ABOUT, IDC_TYPE, IDC_PORT, IDC_BAUD, IDC_PARITY,
                       IDC_STOPBITS, IDC_FILE, IDC_BROWSE, IDC_PINCODE, IDC_EXIT,
                       IDC_FRIENDLYNAME, IDC_SERIAL, IDC_BLUETOOTH, IDC_USB})
            if (dlg->Control(id)->isEnabled()) ids << id;
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    static QList<int> SerialIdle() {
        QList<int> ids{IDOK_FLASH, IDC_ABOUT, IDC_TYPE, IDC_PORT, IDC_BAUD, IDC_PARITY,
                       IDC_STOPBITS, IDC_FILE, IDC_BROWSE, IDC_EXIT, IDC_SERIAL,
                       IDC_BLUETOOTH, IDC_USB};
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    static CTransmitDlg* OpenProgressWindow() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* t = qobject_cast<CTransmitDlg*>(w); t && t->isVisible()) return t;
        return nullptr;
    }

    rtq::ScaledClock clock{kClockFactor};
    rtq::ScopedClock useClock{clock};
    rtq::sim::SimPrinter printer;
    SimSerialBackend backend;
    ScopedSimSerialBackend useBackend{backend};
    QTemporaryDir dir;
    std::vector<uint8_t> file;
    std::unique_ptr<CFlashDlg> dlg;
    ModalCatcher catcher;
};

}  // namespace rtq::test
