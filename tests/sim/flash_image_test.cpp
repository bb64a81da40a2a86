#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "sim/flash_image.h"
#include "tests/support/fifo_guard.h"

namespace rtq::sim {
namespace {

TEST(FlashImage, SectorMapCoversTheFlashWithoutGaps) {
    EXPECT_EQ(FlashImage::SectorAddress(1), 0x0u);
    EXPECT_EQ(FlashImage::SectorAddress(2), 0x4000u);
    EXPECT_EQ(FlashImage::SectorAddress(3), 0x6000u);
    EXPECT_EQ(FlashImage::SectorAddress(4), 0x8000u);
    EXPECT_EQ(FlashImage::SectorAddress(5), 0x10000u);
    EXPECT_EQ(FlashImage::SectorAddress(6), 0x20000u);
    EXPECT_EQ(FlashImage::SectorAddress(20), 0x100000u);
    uint32_t next = 0;
    for (int n = 1; n <= 70; ++n) {
        EXPECT_EQ(FlashImage::SectorAddress(n), next) << "sector " << n;
        next += FlashImage::SectorSize(n);
    }
    EXPECT_EQ(next, FlashImage::kTotalSize);
    EXPECT_EQ(FlashImage::SectorSize(0), 0u);
    EXPECT_EQ(FlashImage::SectorSize(71), 0u);
    EXPECT_EQ(FlashImage(0x5A).Bytes().size(), FlashImage::kTotalSize);
}

TEST(FlashImage, ProgrammingOnlyClearsBitsAndEraseRestoresOneSector) {
    FlashImage flash(0xFF);
    const uint8_t first[] = {0xF0, 0x0F, 0xAA};
    const uint8_t second[] = {0x3C, 0xFF, 0x55};
    EXPECT_EQ(flash.Program(2, 0, first, 3, true), 3u);
    EXPECT_EQ(flash.Program(2, 0, second, 3, true), 3u);
    EXPECT_EQ(flash.Read(0x4000, 4), (std::vector<uint8_t>{0x30, 0x0F, 0x00, 0xFF}));

    flash.Program(3, 0, first, 3, true);
    flash.Erase(2);
    EXPECT_EQ(flash.Read(0x4000, 3), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(flash.Read(0x6000, 1), std::vector<uint8_t>{0xF0}) << "neighbour erased";
    EXPECT_EQ(flash.Read(0x3FFF, 1), std::vector<uint8_t>{0xFF});

    flash.Program(2, 0, first, 3, false);
    flash.Program(2, 0, second, 3, false);
    EXPECT_EQ(flash.Read(0x4000, 3), (std::vector<uint8_t>{0x3C, 0xFF, 0x55}));
}

TEST(FlashImage, ProgramStopsAtTheSectorEnd) {
    FlashImage flash(0xFF);
    std::vector<uint8_t> data(8200, 0x00);
    EXPECT_EQ(flash.Program(2, 0, data.data(), data.size(), true), 8192u);
    EXPECT_EQ(flash.Read(0x6000, 1), std::vector<uint8_t>{0xFF}) << "spilled into sector 3";
    EXPECT_EQ(flash.Program(2, 8192, data.data(), 1, true), 0u);
    EXPECT_EQ(flash.Program(71, 0, data.data(), 1, true), 0u);
    EXPECT_TRUE(flash.Read(FlashImage::kTotalSize - 2, 10).size() == 2);
}

TEST(FlashImage, SaveAndLoadRoundTrip) {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string path = (dir / ("flash_image_test_" + std::to_string(getpid()))).string();
    FlashImage flash(0xFF);
    const uint8_t data[] = {1, 2, 3};
    flash.Program(70, 65533, data, 3, true);
    std::string error;
    ASSERT_TRUE(flash.SaveTo(path, &error)) << error;
    EXPECT_EQ(std::filesystem::file_size(path), FlashImage::kTotalSize);

    FlashImage loaded(0x00);
    ASSERT_TRUE(loaded.LoadFrom(path, &error)) << error;
    EXPECT_EQ(loaded.Bytes(), flash.Bytes());

    // A file larger than the flash is refused and leaves the image alone.
    {
        std::ofstream big(path, std::ios::binary | std::ios::app);
        big.put('x');
    }
    FlashImage untouched(0x11);
    EXPECT_FALSE(untouched.LoadFrom(path, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(untouched.Bytes()[0], 0x11);
    std::filesystem::remove(path);

    EXPECT_FALSE(flash.SaveTo(dir.string() + "/no/such/dir/x", &error));
    EXPECT_FALSE(loaded.LoadFrom(dir.string() + "/no/such/file", &error));
}

TEST(FlashImage, LoadingANamedPipeIsRefusedWithoutWaitingForAWriter) {
    const auto dir = std::filesystem::temp_directory_path();
    rtq::test::FifoGuard fifo((dir / ("flash_image_fifo_" + std::to_string(getpid()))).string());
    ASSERT_TRUE(fifo.Made());
    FlashImage flash(0x11);
    std::string error;
    bool loaded = true;
    EXPECT_TRUE(fifo.ReturnsWithoutBlocking([&] { loaded = flash.LoadFrom(fifo.Path(), &error); }));
    EXPECT_FALSE(loaded);
    EXPECT_EQ(error, fifo.Path() + ": not a regular file");
    EXPECT_EQ(flash.Bytes()[0], 0x11);

    EXPECT_FALSE(flash.LoadFrom(dir.string(), &error));
    EXPECT_EQ(error, dir.string() + ": not a regular file");
}

}  // namespace
}  // namespace rtq::sim
