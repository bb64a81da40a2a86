#include "tests/fuzz/link_run.h"

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/run_settings.h"
#include "platform/last_error.h"
#include "ports/port_state.h"

namespace rtq::fuzz {

namespace {

using rtq::sim::CommandKind;

std::string SettingText(FuzzInput& in, bool pin) {
    std::string text = in.Text(40);
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        // A PIN code is 7-bit text (an edit box holds no zero byte); a
        // friendly name printable 7-bit text.
        c = pin ? static_cast<char>((u & 0x7F) == 0 ? 1 : (u & 0x7F))
                : static_cast<char>(0x20 + u % 95);
    }
    return text;
}

std::string Fail(const std::string& why, int sector = -1) {
    return sector < 0 ? why : "sector " + std::to_string(sector) + ": " + why;
}

std::string CheckSectors(const SampleFile& file, const std::vector<Command>& commands) {
    size_t dataFrames = 0;
    for (size_t i = 0; i < commands.size(); ++i) {
        const Command& c = commands[i];
        if (c.kind != CommandKind::Data) continue;
        ++dataFrames;
        const auto expected = file.sectorCrc.find(c.sector);
        if (expected == file.sectorCrc.end()) return Fail("data for a sector outside the plan", c.sector);
        if (c.dataCrc != expected->second) return Fail("data differ from the file", c.sector);
        if (file.ipl && c.sector == 5) continue;  // the printer restarts instead
        size_t j = i + 1;
        while (j < commands.size() && commands[j].kind != CommandKind::Checksum &&
               commands[j].kind != CommandKind::Data)
            ++j;
        if (j == commands.size() || commands[j].kind != CommandKind::Checksum)
            return Fail("no checksum query after the data", c.sector);
        const std::vector<uint8_t>& answer = commands[j].taken;
        if (answer.size() < 3) return Fail("checksum answer not read", c.sector);
        const uint16_t value = static_cast<uint16_t>(answer[1] | (answer[2] << 8));
        if (value != c.dataCrc) return Fail("checksum answer differs from the CRC", c.sector);
    }
    if (dataFrames != file.sectorCrc.size()) return Fail("not every sector was written");
    if (file.main) {
        bool recalculated = false;
        for (const Command& c : commands) recalculated |= c.kind == CommandKind::RecalculateCrc;
        if (!recalculated) return Fail("main firmware without the CRC recalculation");
    }
    return {};
}

std::string CheckSetting(const RunChoice& run, const std::vector<Command>& commands) {
    const CommandKind kind = run.pinCode ? CommandKind::PinCode : CommandKind::FriendlyName;
    for (const Command& c : commands) {
        if (c.kind != kind) continue;
        if (c.text != run.setting) return Fail("setting arrived changed");
        if (run.pinCode && c.pinGiven == run.setting.empty())
            return Fail("PIN code flag wrong");
        return {};
    }
    return Fail("setting never arrived");
}

}  // namespace

RunChoice ChooseRun(FuzzInput& in) {
    RunChoice run;
    switch (in.Byte() % 8) {
        case 3: run.file = &MainFirmwareFile(); break;
        case 4: run.file = &IplFile(); break;
        case 5:
            run.pinCode = true;
            run.setting = SettingText(in, true);
            break;
        case 6:
            run.friendlyName = true;
            run.setting = SettingText(in, false);
            break;
        default: run.file = &FontFile(); break;
    }
    return run;
}

void PrepareGlobals(const RunChoice& run, bool usb) {
    ClearGlobals();
    g_bUsbLink = usb ? 1 : 0;
    g_strPinCode = run.pinCode ? run.setting : std::string();
    g_strFriendlyName = run.friendlyName ? run.setting : std::string();
    g_bPinCodeRun = run.pinCode ? 1 : 0;
    g_bFriendlyNameRun = run.friendlyName ? 1 : 0;
}

void ClearGlobals() {
    g_bUsbLink = 0;
    g_hUsbDevice = INVALID_HANDLE_VALUE;
    g_bCancelled = 0;
    g_pMainDlg = nullptr;
    std::memset(receivedBuffer, 0, sizeof receivedBuffer);
    g_strPinCode.clear();
    g_strFriendlyName.clear();
    g_bPinCodeRun = 0;
    g_bFriendlyNameRun = 0;
    rtq::SetLastErrorText(std::string());
}

bool IsSerialRunResult(int code) {
    return code == 1 || (code >= 1001 && code <= 1011) || code == 1017 || code == 1018 ||
           code == 1041;
}

bool IsUsbRunResult(int code) {
    return code == 1 || (code >= 1001 && code <= 1011) || (code >= 1038 && code <= 1041);
}

std::string UnfoundedSuccess(const RunChoice& run, const std::vector<Command>& commands) {
    std::string why = run.file ? CheckSectors(*run.file, commands) : CheckSetting(run, commands);
    if (why.empty() && (commands.empty() || commands.back().kind != CommandKind::Reset))
        why = "no reset at the end";
    return why;
}

void DescribeRun(int result, const std::vector<Command>& commands) {
    if (!std::getenv("RTQ_FUZZ_VERBOSE")) return;
    static const char* const kNames[] = {"switch", "line",     "identity", "erase", "select",
                                         "data",   "checksum", "crc",      "reset", "pin",
                                         "name",   "unknown",  "any"};
    std::fprintf(stderr, "result %d\n", result);
    for (const Command& c : commands) {
        std::fprintf(stderr, "  %-8s", kNames[static_cast<int>(c.kind)]);
        if (c.kind == CommandKind::Erase || c.kind == CommandKind::Select ||
            c.kind == CommandKind::Data)
            std::fprintf(stderr, " sector %d", c.sector);
        if (c.kind == CommandKind::Data) std::fprintf(stderr, " crc %04X", c.dataCrc);
        if (!c.taken.empty()) {
            std::fprintf(stderr, " took");
            for (uint8_t b : c.taken) std::fprintf(stderr, " %02X", b);
        }
        std::fprintf(stderr, "\n");
    }
}

int ThreadCount() {
    DIR* dir = opendir("/proc/self/task");
    if (!dir) return -1;
    int n = 0;
    while (const dirent* e = readdir(dir))
        if (e->d_name[0] != '.') ++n;
    closedir(dir);
    return n;
}

}  // namespace rtq::fuzz
