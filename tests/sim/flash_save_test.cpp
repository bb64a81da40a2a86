// Saving the simulated flash next to files and links that someone else
// may have put there.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/flash_save.h"
#include "sim/sim_printer.h"

namespace rtq::sim {
namespace {

namespace fs = std::filesystem;

class FlashSave : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "rtq-flash-save-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        printer.WriteFlash(0, {1, 2, 3});
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    std::string At(const std::string& name) const { return (dir / name).string(); }
    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void Put(const std::string& name, const std::string& text) const {
        std::ofstream(At(name), std::ios::binary) << text;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool HoldsTheImage(const std::string& path) const {
        const std::string bytes = Contents(path);
        return bytes.size() == FlashImage::kTotalSize && bytes.compare(0, 4, "\x01\x02\x03\xFF") == 0;
    }

    fs::path dir;
    SimPrinter printer;
    std::string error;
};

TEST_F(FlashSave, WritesAWholeImageAndLeavesNoTemporaryBehind) {
    ASSERT_TRUE(SaveFlashAtomically(printer, At("out.bin"), &error)) << error;
    EXPECT_TRUE(HoldsTheImage(At("out.bin")));
    // Saved again after the next reset: the earlier image is replaced.
    printer.WriteFlash(0, {9});
    ASSERT_TRUE(SaveFlashAtomically(printer, At("out.bin"), &error)) << error;
    EXPECT_EQ(Contents(At("out.bin"))[0], '\x09');
    EXPECT_EQ(Names(), (std::vector<std::string>{"out.bin"}));

    EXPECT_FALSE(SaveFlashAtomically(printer, At("no/such/folder/out.bin"), &error));
    EXPECT_NE(error.find("no/such/folder"), std::string::npos) << error;
}

TEST_F(FlashSave, APlantedLinkBesideTheImageIsNeverFollowed) {
    Put("victim", "keep");
    for (const char* planted : {"out.bin.tmp", "out.bin.new", "out.bin~"})
        fs::create_symlink(At("victim"), At(planted));
    ASSERT_TRUE(SaveFlashAtomically(printer, At("out.bin"), &error)) << error;
    EXPECT_EQ(Contents(At("victim")), "keep");
    EXPECT_TRUE(HoldsTheImage(At("out.bin")));
    EXPECT_TRUE(fs::is_symlink(At("out.bin.tmp")));
}

TEST_F(FlashSave, OnlyARegularFileIsReplaced) {
    Put("victim", "keep");
    fs::create_symlink(At("victim"), At("link.bin"));
    EXPECT_FALSE(SaveFlashAtomically(printer, At("link.bin"), &error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_symlink(At("link.bin")));
    EXPECT_EQ(Contents(At("victim")), "keep");

    // A named pipe stands in for a device node, which a test cannot make.
    ASSERT_EQ(mkfifo(At("pipe.bin").c_str(), 0600), 0);
    EXPECT_FALSE(SaveFlashAtomically(printer, At("pipe.bin"), &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_fifo(At("pipe.bin")));

    fs::create_directory(At("folder.bin"));
    EXPECT_FALSE(SaveFlashAtomically(printer, At("folder.bin"), &error));
    EXPECT_TRUE(fs::is_directory(At("folder.bin")));

    EXPECT_EQ(Names(), (std::vector<std::string>{"folder.bin", "link.bin", "pipe.bin", "victim"}));
}

}  // namespace
}  // namespace rtq::sim
