// The toolkit-free main dialog driven as the operator would, through a
// view that records what it is told, against the simulated printer: one
// whole serial run from FLASH NOW to the result message, and a Bluetooth
// run to a paired printer picked from the port list.

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "dialog/control_ids.h"
#include "dialog/file_filters.h"
#include "dialog/flash_dlg_core.h"
#include "dialog/stop_message_owner.h"
#include "platform/call_queue.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/messages.h"
#include "ports/bluetooth_printers.h"
#include "ports/port_state.h"
#include "sim/sim_printer.h"
#include "tests/engine/temp_files.h"
#include "tests/support/sim_serial_backend.h"

// What the run's worker was given.
struct FlashDlgTestAccess {
    static RunPlan Plan(const CFlashDlgCore& dlg) { return dlg.Plan(); }
};

namespace {

// A view with no toolkit: controls are entries in maps, boxes and the
// progress window are records, the dialog's thread is the test's.
class RecordingView : public IFlashDlgView {
public:
    struct Box {
        std::string text;
        BoxIcon icon;
    };

    void EnableControl(int id, bool enable) override { enabled[id] = enable; }
    bool IsChecked(int id) const override { return checked.count(id) != 0; }
    std::string GetText(int id) const override {
        const auto list = lists.find(id);
        if (list == lists.end()) {
            const auto t = texts.find(id);
            return t == texts.end() ? std::string() : t->second;
        }
        const int i = SelectedIndex(id);
        return i < 0 ? std::string() : list->second[static_cast<size_t>(i)];
    }
    void SetText(int id, const std::string& text) override {
        const auto list = lists.find(id);
        if (list == lists.end()) {
            texts[id] = text;
            return;
        }
        for (size_t i = 0; i < list->second.size(); ++i)
            if (list->second[i] == text) selected[id] = static_cast<int>(i);
    }
    void FillList(int id, const std::vector<std::string>& items) override {
        lists[id] = items;
        selected[id] = -1;
    }
    int SelectedIndex(int id) const override {
        const auto s = selected.find(id);
        return s == selected.end() ? -1 : s->second;
    }
    void SelectIndex(int id, int index) override {
        const auto& items = lists[id];
        selected[id] = index >= 0 && static_cast<size_t>(index) < items.size() ? index : -1;
    }
    void RemoveItem(int id, int index) override {
        auto& items = lists[id];
        if (index < 0 || static_cast<size_t>(index) >= items.size()) return;
        items.erase(items.begin() + index);
        if (selected[id] >= index) --selected[id];
    }
    void SetItemTip(int id, int index, const std::string& tip) override {
        tips[{id, index}] = tip;
    }
    void SetFocus(int id) override { focus = id; }
    void SetTextLimit(int, int) override {}
    void ShowBox(const std::string& text, BoxIcon icon, const std::string&) override {
        boxes.push_back({text, icon});
    }
    void SuppressBoxes(bool) override {}
    void CloseBoxes() override {}
    void EndDialog(int code) override { endCode = code; }
    void OpenProgress(bool cancelEnabled) override {
        progressOpen = true;
        progressCancel = cancelEnabled;
        ++progressOpens;
    }
    bool HasProgress() const override { return progressOpen; }
    void StopProgress() override {}
    void CloseProgress() override { progressOpen = false; }
    void DestroyProgress() override { progressOpen = false; }
    void SetProgressRange(int range, int pos) override {
        if (pos > range) progressPastEnd = true;
    }
    void SetProgressText(const std::string& text) override {
        if (progressTexts.empty() || progressTexts.back() != text) progressTexts.push_back(text);
    }
    void SetProgressStep(int) override {}
    void SetProgressAutoStep(int) override {}
    void DisableProgressCancel() override { progressCancel = false; }
    bool ProgressCancelOffered() const override { return progressCancel; }
    void PressProgressCancel() override {
        if (progressCancel) g_bCancelled.store(1);
    }
    bool OnDialogThread() const override { return calls.OnOwnerThread(); }
    bool CallOnDialogThread(std::function<void()> fn) override { return calls.Call(std::move(fn)); }
    void PostToDialogThread(std::function<void()> fn) override { calls.Post(std::move(fn)); }

    std::map<int, bool> enabled;
    std::set<int> checked;
    std::map<int, std::string> texts;
    std::map<int, std::vector<std::string>> lists;
    std::map<int, int> selected;
    std::map<std::pair<int, int>, std::string> tips;
    int focus = 0;
    std::vector<Box> boxes;
    int endCode = 0;
    bool progressOpen = false;
    bool progressCancel = false;
    bool progressPastEnd = false;
    int progressOpens = 0;
    std::vector<std::string> progressTexts;
    rtq::CallQueue calls;
};

class TestDialog : public RecordingView, public CFlashDlgCore {
public:
    TestDialog() : CFlashDlgCore(static_cast<IFlashDlgView&>(*this)) {
        FillFixedLists();
        EXPECT_EQ(ParseModelTable(), 0);
        EXPECT_EQ(SelectModel(), 1);
        InitControls();
    }
    ~TestDialog() override {
        calls.Close();
        ReleaseRun();
    }

    // What the operator's clicks and choices reach.
    void ClickLink(int id) {
        checked = {id};
        if (id == IDC_SERIAL) OnSerialPort();
        if (id == IDC_BLUETOOTH) OnBluetooth();
        if (id == IDC_USB) OnUsbInterface();
    }
    void Choose(int id, const std::string& text) {
        ASSERT_TRUE(enabled[id]) << id;
        SetText(id, text);
        ASSERT_EQ(GetText(id), text);
        if (id == IDC_TYPE) OnSelchangeType();
    }
    void UseFile(const std::string& path) {
        m_path = path;
        texts[IDC_FILE] = std::filesystem::path(path).filename().string();
    }

    std::string path() const { return m_path; }

private:
    void ForgetDataFile() override { m_path.clear(); }
    std::string DataFilePath() const override { return m_path; }

    std::string m_path;
};

std::vector<int> EnabledIds(const RecordingView& v) {
    std::vector<int> ids;
    for (const auto& [id, on] : v.enabled)
        if (on) ids.push_back(id);
    return ids;
}

class FlashDlgCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_bCancelled = 0;
        g_bUsbLink = 0;
        backend.AddDevice("COM17", printer);
        dir = temp.Path();
    }
    void TearDown() override {
        g_bCancelled = 0;
        g_bUsbLink = 0;
    }

    // One sector of font data: the tag, then a pattern that is not 0xFF.
    std::string WriteFont() {
        font.assign(65536, 0);
        for (size_t i = 0; i < font.size(); ++i) font[i] = static_cast<uint8_t>((i * 7 + 3) % 251);
        std::copy_n("MB01", 4, font.begin());
        const std::string path = dir + "/font.bin";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(font.data()), std::streamsize(font.size()));
        return path;
    }

    // Scaled, so that the worker's pauses cost little and the threads
    // still interleave as in real time.
    rtq::ScaledClock clock{100};
    rtq::ScopedClock useClock{clock};
    rtq::sim::SimPrinter printer;
    rtq::test::SimSerialBackend backend;
    rtq::test::ScopedSimSerialBackend useBackend{backend};
    rtq::test::TempFolder temp;
    std::string dir;
    std::vector<uint8_t> font;
};

TEST_F(FlashDlgCoreTest, SerialFontRunFromFlashNowToItsResult) {
    TestDialog dlg;
    // Before a link is picked: only the link buttons (and About, Exit).
    EXPECT_FALSE(dlg.enabled[IDOK_FLASH]);
    EXPECT_FALSE(dlg.enabled[IDC_TYPE]);
    EXPECT_EQ(dlg.focus, IDC_SERIAL);

    dlg.ClickLink(IDC_SERIAL);
    EXPECT_EQ(dlg.lists[IDC_PORT].size(), 64u);
    EXPECT_EQ(dlg.lists[IDC_TYPE],
              (std::vector<std::string>{"MAIN FIRMWARE", "IPL FIRMWARE", "CG FONT", "PIN CODE",
                                        "FRIENDLY NAME"}));
    EXPECT_EQ(dlg.GetText(IDC_BAUD), "9600");
    dlg.Choose(IDC_PORT, "COM17");
    dlg.Choose(IDC_TYPE, "CG FONT");
    dlg.Choose(IDC_BAUD, "38400");
    dlg.UseFile(WriteFont());

    dlg.OnOK();
    // FLASH NOW locks the dialog at once; the run goes on in its worker.
    EXPECT_TRUE(dlg.IsBusy());
    EXPECT_FALSE(dlg.enabled[IDC_EXIT]);
    EXPECT_FALSE(dlg.enabled[IDC_SERIAL]);
    dlg.OnCancel();  // Esc while busy
    EXPECT_EQ(dlg.endCode, 0);

    ASSERT_TRUE(dlg.calls.RunUntil([&] { return !dlg.IsBusy(); }, 600000));

    ASSERT_EQ(dlg.boxes.size(), 1u);
    EXPECT_EQ(dlg.boxes[0].text, "Download successfully completed!");
    EXPECT_EQ(dlg.boxes[0].icon, IFlashDlgView::BoxIcon::Information);
    EXPECT_EQ(dlg.LastResult(), 1);
    EXPECT_EQ(FlashDlgTestAccess::Plan(dlg).strPort, "\\\\.\\COM17");
    EXPECT_EQ(FlashDlgTestAccess::Plan(dlg).nBaud, 38400);

    // The flash holds the file, in its sector and nowhere else.
    EXPECT_EQ(printer.ReadFlash(0x100000, font.size()), font);
    EXPECT_EQ(printer.WrittenSectors(), (std::vector<int>{20}));

    // One progress window, offering Cancel until the point of no return,
    // closed before the result; the messages end in the specified order.
    EXPECT_EQ(dlg.progressOpens, 1);
    EXPECT_FALSE(dlg.progressOpen);
    EXPECT_FALSE(dlg.progressPastEnd);
    EXPECT_FALSE(dlg.progressTexts.empty());
    const std::vector<UINT>& m = dlg.WorkerMessages();
    ASSERT_GE(m.size(), 4u);
    EXPECT_EQ(m.front(), static_cast<UINT>(WM_OPEN_PROGRESS));
    EXPECT_EQ(std::vector<UINT>(m.end() - 3, m.end()),
              (std::vector<UINT>{WM_CLOSE_PROGRESS, WM_DOWNLOAD_DONE, WM_ENABLE_CONTROLS}));
    EXPECT_NE(std::find(m.begin(), m.end(), static_cast<UINT>(WM_DISABLE_CANCEL)), m.end());

    // The dialog is unlocked for the serial link, ready for the next run.
    EXPECT_EQ(EnabledIds(dlg),
              (std::vector<int>{IDOK_FLASH, IDC_TYPE, IDC_PORT, IDC_BAUD, IDC_PARITY, IDC_STOPBITS,
                                IDC_FILE, IDC_BROWSE, IDC_EXIT, IDC_SERIAL, IDC_BLUETOOTH,
                                IDC_USB}));
    EXPECT_EQ(dlg.focus, IDOK_FLASH);

    // The session's end now ends the dialog with the end code.
    dlg.OnEndSession();
    ASSERT_TRUE(dlg.calls.RunUntil([&] { return dlg.endCode != 0; }, 1000));
    EXPECT_EQ(dlg.endCode, kDialogEndCode);
}

// Browse's checks, shared by both front ends: a type that takes a file
// gives its filter without a word, the others tell the operator why not.
TEST_F(FlashDlgCoreTest, BrowseNeedsATypeThatTakesAFile) {
    TestDialog dlg;
    dlg.ClickLink(IDC_SERIAL);
    EXPECT_EQ(dlg.BrowseFilter(), nullptr);
    dlg.Choose(IDC_TYPE, "FRIENDLY NAME");
    EXPECT_EQ(dlg.BrowseFilter(), nullptr);
    dlg.Choose(IDC_TYPE, "CG FONT");
    const FileFilter* font = dlg.BrowseFilter();
    ASSERT_NE(font, nullptr);
    EXPECT_STREQ(font->description, "US & EU Font Files");
    EXPECT_STREQ(font->extension, "bin");
    ASSERT_EQ(dlg.boxes.size(), 2u);
    EXPECT_EQ(dlg.boxes[0].text, "Please determine the download type!");
    EXPECT_EQ(dlg.boxes[1].text, "Please select a correct download type!");
    EXPECT_EQ(dlg.boxes[1].icon, IFlashDlgView::BoxIcon::Critical);

    // The key is the text up to its first space, in any case; a text
    // without a space is reduced to its first letter.
    EXPECT_STREQ(FileFilterOfType("chinese font")->description, "Chinese Font Files");
    EXPECT_STREQ(FileFilterOfType("PIN CODE")->extension, "pin");
    EXPECT_EQ(FileFilterOfType("IPL"), nullptr);
    EXPECT_EQ(FileFilterOfType(""), nullptr);
}

// The engine's stop message, raised on a worker, is shown by the dialog on
// its own thread while the dialog lives, and on stderr once it is gone.
TEST_F(FlashDlgCoreTest, TheEngineStopMessageIsShownOnTheDialogThread) {
    TestDialog dlg;
    {
        CStopMessageOwner owner(dlg);
        std::thread worker([] { rtq::ShowStopMessage("Error: Insufficient memory"); });
        ASSERT_TRUE(dlg.calls.RunUntil([&] { return !dlg.boxes.empty(); }, 600000));
        worker.join();
    }
    ASSERT_EQ(dlg.boxes.size(), 1u);
    EXPECT_EQ(dlg.boxes[0].text, "Error: Insufficient memory");
    rtq::ShowStopMessage("to stderr");
    EXPECT_EQ(dlg.boxes.size(), 1u);
}

}  // namespace

namespace {

constexpr char kPrinterAddress[] = "00:AA:01:01:00:01";
constexpr char kPrinterItem[] = "RTQ-P1 (00:AA:01:01:00:01)";

// What the Bluetooth service would say: one paired printer, besides a
// paired headset and a printer that was never paired.
rtq::BluetoothState PairedPrinter() {
    rtq::BluetoothState s;
    s.serviceReachable = true;
    s.adapters.push_back({"/org/bluez/hci0", true});
    const std::string spp = rtq::kSerialPortUuid;
    s.devices.push_back({"/d/1", "00:AA:01:01:00:09", "Headset", "Headset", true, true,
                         {"0000110b-0000-1000-8000-00805f9b34fb"}});
    s.devices.push_back({"/d/2", kPrinterAddress, "RTQ650", "RTQ-P1", true, false, {spp}});
    s.devices.push_back({"/d/3", "00:AA:01:01:00:03", "RTQ-P3", "RTQ-P3", false, false, {spp}});
    return s;
}

TEST_F(FlashDlgCoreTest, BluetoothListOffersPairedPrintersAndFlashNowConnectsTheChosenOne) {
    backend.AddDevice(kPrinterAddress, printer);
    TestDialog dlg;
    std::atomic<int> reads{0};
    dlg.SetBluetoothReader([&] {
        ++reads;
        return PairedPrinter();
    });

    // The COM ports at once; the printer once the service has answered,
    // the operator's pick of meanwhile kept.
    dlg.ClickLink(IDC_BLUETOOTH);
    ASSERT_EQ(dlg.lists[IDC_PORT].size(), 64u);
    dlg.Choose(IDC_PORT, "COM5");
    ASSERT_TRUE(dlg.calls.RunUntil([&] { return dlg.lists[IDC_PORT].size() == 65; }, 600000));
    EXPECT_EQ(dlg.lists[IDC_PORT][63], "COM64");
    EXPECT_EQ(dlg.lists[IDC_PORT][64], kPrinterItem);
    EXPECT_EQ(dlg.GetText(IDC_PORT), "COM5");
    const std::string tip = dlg.tips[{IDC_PORT, 64}];
    EXPECT_NE(tip.find("Paired"), std::string::npos) << tip;
    EXPECT_NE(tip.find("not connected"), std::string::npos) << tip;

    // A late answer never refills the list of a link picked since.
    dlg.ClickLink(IDC_BLUETOOTH);
    dlg.ClickLink(IDC_SERIAL);
    ASSERT_TRUE(dlg.calls.RunUntil([&] { return reads == 2; }, 600000));
    dlg.calls.RunUntil([] { return false; }, 2000);
    EXPECT_EQ(dlg.lists[IDC_PORT].size(), 64u);

    dlg.ClickLink(IDC_BLUETOOTH);
    ASSERT_TRUE(dlg.calls.RunUntil([&] { return dlg.lists[IDC_PORT].size() == 65; }, 600000));
    dlg.Choose(IDC_PORT, kPrinterItem);
    dlg.Choose(IDC_TYPE, "PIN CODE");
    dlg.texts[IDC_PINCODE] = "1234";
    dlg.OnOK();
    ASSERT_TRUE(dlg.calls.RunUntil([&] { return !dlg.IsBusy(); }, 600000));
    ASSERT_EQ(dlg.boxes.size(), 1u);
    EXPECT_EQ(dlg.boxes[0].text, "Download successfully completed!");
    EXPECT_EQ(backend.Opens(), std::vector<std::string>{kPrinterAddress});
    EXPECT_EQ(printer.PinCode(), "1234");
}

TEST_F(FlashDlgCoreTest, BluetoothServiceGoneLeavesTheComPorts) {
    TestDialog dlg;
    std::atomic<bool> answered{false};
    dlg.SetBluetoothReader([&] {
        rtq::BluetoothState gone;
        gone.error = "The name org.bluez was not provided by any .service files";
        answered = true;
        return gone;
    });
    dlg.ClickLink(IDC_BLUETOOTH);
    ASSERT_TRUE(dlg.calls.RunUntil([&] { return answered.load(); }, 600000));
    dlg.calls.RunUntil([] { return false; }, 2000);
    EXPECT_EQ(dlg.lists[IDC_PORT].size(), 64u);
    dlg.Choose(IDC_PORT, "COM49");
    EXPECT_TRUE(dlg.tips.empty());
}

}  // namespace
