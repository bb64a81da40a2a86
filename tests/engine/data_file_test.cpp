#include "engine/data_file.h"
#include "engine/settings_check.h"
#include "platform/last_error.h"

#include <gtest/gtest.h>

#include <limits>

#include "engine/result_codes.h"
#include "engine/sector_sizes.h"
#include "tests/engine/temp_files.h"

namespace {

using rtq::test::TempFolder;
using Plan = std::vector<int32_t>;

TEST(SectorPlan, FollowsTheSectorSizesFromTheFirstSector) {
    EXPECT_EQ(BuildSectorPlan(1, 6, g_aSectorSizes), (Plan{6}));
    EXPECT_EQ(BuildSectorPlan(65536, 6, g_aSectorSizes), (Plan{6}));
    EXPECT_EQ(BuildSectorPlan(65537, 6, g_aSectorSizes), (Plan{6, 7}));
    EXPECT_EQ(BuildSectorPlan(196608, 6, g_aSectorSizes), (Plan{6, 7, 8}));
    // IPL data: sector 4 holds 32768 bytes, sector 5 the rest.
    EXPECT_EQ(BuildSectorPlan(98304, 4, g_aSectorSizes), (Plan{4, 5}));
    EXPECT_EQ(BuildSectorPlan(16385, 1, g_aSectorSizes), (Plan{1, 2}));
}

TEST(SectorPlan, IsEmptyWithoutDataAndStopsAtTheLastSector) {
    EXPECT_TRUE(BuildSectorPlan(0, 6, g_aSectorSizes).empty());
    EXPECT_TRUE(BuildSectorPlan(-5, 4, g_aSectorSizes).empty());
    EXPECT_TRUE(BuildSectorPlan(100, 0, g_aSectorSizes).empty());
    EXPECT_TRUE(BuildSectorPlan(100, 71, g_aSectorSizes).empty());
    const Plan tail = BuildSectorPlan(int64_t{10} * 65536, 68, g_aSectorSizes);
    EXPECT_EQ(tail, (Plan{68, 69, 70}));
}

TEST(SectorPlan, SectorAddressesFollowTheFlashMap) {
    EXPECT_EQ(SectorAddress(4, g_aSectorSizes), 0x8000);
    EXPECT_EQ(SectorAddress(5, g_aSectorSizes), 0x10000);
    EXPECT_EQ(SectorAddress(6, g_aSectorSizes), 0x20000);
    EXPECT_EQ(SectorAddress(20, g_aSectorSizes), 0x100000);
    EXPECT_EQ(SectorAddress(70, g_aSectorSizes), int64_t{66} * 0x10000);
}

TEST(LengthRules, AcceptOnlyDataThatFillsItsSectors) {
    Plan plan;
    EXPECT_EQ(CheckDataLength(65536, 6, false, g_aSectorSizes, &plan), kResultSuccess);
    EXPECT_EQ(plan, (Plan{6}));
    EXPECT_EQ(CheckDataLength(196608, 20, false, g_aSectorSizes, &plan), kResultSuccess);
    EXPECT_EQ(plan, (Plan{20, 21, 22}));

    EXPECT_EQ(CheckDataLength(0, 6, false, g_aSectorSizes, &plan), kResultBadDataFile);
    EXPECT_TRUE(plan.empty());
    EXPECT_EQ(CheckDataLength(1, 6, false, g_aSectorSizes), kResultBadDataFile);
    EXPECT_EQ(CheckDataLength(65535, 6, false, g_aSectorSizes), kResultBadDataFile);
    EXPECT_EQ(CheckDataLength(65537, 6, false, g_aSectorSizes), kResultBadDataFile);
}

TEST(LengthRules, RefuseAPlanPastTheLastSector) {
    // Sectors 20 to 70 are 51 sectors.
    EXPECT_EQ(CheckDataLength(int64_t{51} * 65536, 20, false, g_aSectorSizes), kResultSuccess);
    EXPECT_EQ(CheckDataLength(int64_t{52} * 65536, 20, false, g_aSectorSizes),
              kResultBadDataFile);
    EXPECT_EQ(CheckDataLength(int64_t{1} << 40, 6, false, g_aSectorSizes), kResultBadDataFile);
}

TEST(LengthRules, ExtremeLengthsAreRefusedWithoutWrapping) {
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    EXPECT_LE(DataLength(kMin, true), 0);
    EXPECT_EQ(DataLength(kMax, true), kMax - 0x8000);
    for (bool ipl : {false, true})
        for (int64_t length : {kMin, int64_t{-1}, kMax})
            EXPECT_EQ(CheckDataLength(length, ipl ? 4 : 6, ipl, g_aSectorSizes),
                      kResultBadDataFile)
                << length << (ipl ? " IPL" : "");
}

TEST(LengthRules, AnIplFileIsExactly131072BytesFromSector4) {
    Plan plan;
    EXPECT_EQ(CheckDataLength(131072, 4, true, g_aSectorSizes, &plan), kResultSuccess);
    EXPECT_EQ(plan, (Plan{4, 5}));
    for (int64_t length : {int64_t{0}, int64_t{0x8000}, int64_t{65536}, int64_t{131071},
                           int64_t{131073}, int64_t{196608}})
        EXPECT_EQ(CheckDataLength(length, 4, true, g_aSectorSizes), kResultBadDataFile)
            << length;
    EXPECT_EQ(CheckDataLength(131072, 5, true, g_aSectorSizes), kResultBadDataFile);
}

TEST(LengthRules, EachRefusalSaysWhichRuleTheFileBroke) {
    const struct {
        int64_t length;
        int32_t first;
        bool ipl;
        const char* why;
    } cases[] = {
        {0, 20, false, "The file is empty."},
        {65535, 20, false, "(65535 bytes) does not fill whole flash sectors"},
        {65536 * 52, 20, false, "larger than the flash from sector 20 on"},
        {65536, 4, true, "An IPL file must be exactly 131072 bytes long; this one has 65536"},
    };
    for (const auto& c : cases) {
        rtq::SetLastErrorText("stale");
        EXPECT_EQ(CheckDataLength(c.length, c.first, c.ipl, g_aSectorSizes), kResultBadDataFile);
        EXPECT_NE(rtq::LastErrorText().find(c.why), std::string::npos) << rtq::LastErrorText();
    }
    EXPECT_EQ(CheckFileExtension("font.txt", DownloadKind::Font), kResultBadDataFile);
    EXPECT_NE(rtq::LastErrorText().find("must end in .BIN"), std::string::npos);
}

TEST(FileIdentity, MainFirmwareNeedsBothTags) {
    TempFolder dir;
    std::vector<uint8_t> image = rtq::test::MainFirmwareImage(131072);
    EXPECT_EQ(CheckFileIdentity(dir.Write("ok.mfw", image), DownloadKind::MainFirmware),
              kResultSuccess);
    std::vector<uint8_t> wrong = image;
    rtq::test::PutTag(&wrong, 0x4F4, "MB02");
    EXPECT_EQ(CheckFileIdentity(dir.Write("w.mfw", wrong), DownloadKind::MainFirmware),
              kResultWrongFile);
    wrong = image;
    rtq::test::PutTag(&wrong, 0x4F0, "main");
    EXPECT_EQ(CheckFileIdentity(dir.Write("l.mfw", wrong), DownloadKind::MainFirmware),
              kResultWrongFile);
    // Shorter than the second tag's end: the short read fails the check.
    image.resize(0x4F7);
    EXPECT_EQ(CheckFileIdentity(dir.Write("s.mfw", image), DownloadKind::MainFirmware),
              kResultWrongFile);
}

TEST(FileIdentity, IplTagsLieInSector5AndTheSkippedPartIsFree) {
    TempFolder dir;
    std::vector<uint8_t> image = rtq::test::IplImage();
    std::fill(image.begin(), image.begin() + 0x8000, 0xAB);
    EXPECT_EQ(CheckFileIdentity(dir.Write("ok.ipl", image), DownloadKind::IplFirmware),
              kResultSuccess);
    rtq::test::PutTag(&image, 0x106F0, "IPL#");
    EXPECT_EQ(CheckFileIdentity(dir.Write("w.ipl", image), DownloadKind::IplFirmware),
              kResultWrongFile);
    // An IPL file is not checked against the main firmware's tags.
    EXPECT_EQ(CheckFileIdentity(dir.Write("ok2.ipl", rtq::test::IplImage()),
                                DownloadKind::MainFirmware),
              kResultWrongFile);
}

TEST(FileIdentity, FontNeedsOnlyTheLeadingTag) {
    TempFolder dir;
    EXPECT_EQ(CheckFileIdentity(dir.Write("f.bin", {'M', 'B', '0', '1'}), DownloadKind::Font),
              kResultSuccess);
    EXPECT_EQ(CheckFileIdentity(dir.Write("g.bin", {'M', 'B', '0'}), DownloadKind::Font),
              kResultWrongFile);
    EXPECT_EQ(CheckFileIdentity(dir.Write("h.bin", {'X', 'B', '0', '1', 0}), DownloadKind::Font),
              kResultWrongFile);
    EXPECT_EQ(CheckFileIdentity(dir.Write("e.bin", {}), DownloadKind::Font), kResultWrongFile);
    EXPECT_EQ(CheckFileIdentity(dir.Path() + "/none.bin", DownloadKind::Font),
              kResultFileOpenFailed);
}

}  // namespace
