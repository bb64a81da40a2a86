// The data-file checks of the command line's check and of FLASH NOW on
// arbitrary names, contents and lengths. The file is sparse, so lengths up
// to beyond the whole flash cost nothing; the fuzzer places short patches
// at the offsets the tags live at. The answers are compared with what the
// file really holds.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cli/download_type.h"
#include "cli/file_checks.h"
#include "engine/data_file.h"
#include "engine/result_codes.h"
#include "engine/sector_sizes.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/fuzz_target.h"
#include "tests/fuzz/scratch_folder.h"

namespace {

constexpr DownloadKind kKinds[] = {DownloadKind::MainFirmware, DownloadKind::IplFirmware,
                                   DownloadKind::Font,         DownloadKind::PinCode,
                                   DownloadKind::FriendlyName, DownloadKind::None};

int64_t ChooseLength(rtq::fuzz::FuzzInput& in) {
    switch (in.Byte() % 4) {
        case 0: return 65536 * static_cast<int64_t>(in.Byte() % 72);
        case 1: {  // a few bytes off whole sectors
            const int64_t sectors = in.Byte() % 72;
            return std::max<int64_t>(0, 65536 * sectors + static_cast<int8_t>(in.Byte()));
        }
        case 2: return kIplFileLength + static_cast<int8_t>(in.Byte());
        default: return in.Range(0, 5 * 1024 * 1024);
    }
}

int64_t ChooseOffset(rtq::fuzz::FuzzInput& in, int64_t length) {
    switch (in.Byte() % 8) {
        case 0: return 0;
        case 1: return 0x4F0;
        case 2: return 0x4F4;
        case 3: return 0x106F0;
        case 4: return 0x106F4;
        case 5: return length - 4;
        case 6: return length - 2;
        default: return in.Range(0, length);
    }
}

void MakeFile(const std::string& path, int64_t length, rtq::fuzz::FuzzInput& in) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    FUZZ_CHECK(fd >= 0, "scratch file cannot be made");
    FUZZ_CHECK(ftruncate(fd, length) == 0, "scratch file cannot be sized");
    while (in.Remaining() > 0) {
        const int64_t offset = ChooseOffset(in, length);
        std::vector<uint8_t> patch = in.Bytes(16);
        if (offset < 0 || offset >= length) continue;
        patch.resize(static_cast<size_t>(std::min<int64_t>(
            static_cast<int64_t>(patch.size()), length - offset)));
        FUZZ_CHECK(pwrite(fd, patch.data(), patch.size(), offset) ==
                       static_cast<ssize_t>(patch.size()),
                   "scratch file cannot be written");
    }
    close(fd);
}

// The tag rows of a kind, read straight from the file.
bool TagsPresent(const std::string& path, DownloadKind kind) {
    const int fd = open(path.c_str(), O_RDONLY);
    FUZZ_CHECK(fd >= 0, "scratch file cannot be read back");
    bool all = true;
    for (const FileTag* row = kFileTags; row->tag[0] != '\0'; ++row) {
        if (row->kind != TagKindFor(kind)) continue;
        char buf[4] = {};
        const ssize_t got = pread(fd, buf, 4, row->offset);
        all = all && got == 4 && std::memcmp(buf, row->tag, 4) == 0;
    }
    close(fd);
    return all;
}

// Whether whole sectors from `first` on hold exactly `length` bytes.
bool SectorsFitExactly(int64_t length, int32_t first, bool ipl) {
    if (ipl) return first == kIplFirstSector && length == kIplFileLength - kIplSkippedBytes;
    int64_t sum = 0;
    for (int32_t s = first; s >= 1 && s <= kSectorCount && sum < length; ++s) {
        sum += g_aSectorSizes[s];
        if (sum == length) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    rtq::fuzz::FuzzInput in(data, size);
    rtq::cli::DownloadType type;
    type.kind = kKinds[in.Byte() % 6];
    // The table's first sector, or any a malformed table could give.
    const uint8_t sectorChoice = in.Byte();
    type.firstSector = sectorChoice < 192 ? FirstSectorForKind(type.kind)
                                          : static_cast<int32_t>(sectorChoice) - 192 - 3;
    const std::string name = in.Text(48);
    const uint8_t where = in.Byte() % 16;
    const int64_t length = ChooseLength(in);

    const std::string& folder = rtq::fuzz::ScratchFolder();
    const std::string file = folder + "/data";
    std::string path = file;
    if (where == 0) path = folder + "/missing";
    if (where == 1) path = folder;  // a folder is not a data file
    if (where > 1) MakeFile(file, length, in);

    const int named = rtq::cli::CheckFileName(folder + "/" + name, type);
    FUZZ_CHECK(named == kResultSuccess || named == kResultBadDataFile, "name check result");
    if (!IsFileKind(type.kind))
        FUZZ_CHECK(named == kResultBadDataFile, "a name accepted for a kind without file");

    std::vector<int32_t> plan{99};
    const int checked = rtq::cli::CheckFileContents(path, type, &plan);
    if (where <= 1) {
        FUZZ_CHECK(checked == kResultFileOpenFailed, "an unreadable file passed");
        return 0;
    }
    FUZZ_CHECK(FileLength(path) == length, "file length misread");
    const bool tags = TagsPresent(path, type.kind);
    if (!tags) {
        FUZZ_CHECK(checked == kResultWrongFile, "a file without its tags passed");
        return 0;
    }
    const bool ipl = type.kind == DownloadKind::IplFirmware;
    const int64_t dataLength = DataLength(length, ipl);
    const bool fits = dataLength > 0 && SectorsFitExactly(dataLength, type.firstSector, ipl);
    FUZZ_CHECK(checked == (fits ? kResultSuccess : kResultBadDataFile),
               "length rule disagrees with the sector table");
    if (!fits) {
        FUZZ_CHECK(plan.empty(), "a refused file left a plan");
        return 0;
    }
    int64_t covered = 0;
    for (size_t i = 0; i < plan.size(); ++i) {
        FUZZ_CHECK(plan[i] == type.firstSector + static_cast<int32_t>(i), "plan not consecutive");
        FUZZ_CHECK(plan[i] >= 1 && plan[i] <= kSectorCount, "plan outside the flash");
        covered += g_aSectorSizes[plan[i]];
    }
    FUZZ_CHECK(covered == dataLength, "plan does not cover the data exactly");
    if (ipl) FUZZ_CHECK(plan == (std::vector<int32_t>{4, 5}), "IPL plan");
    return 0;
}
