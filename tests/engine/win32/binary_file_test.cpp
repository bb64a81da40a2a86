// A data file held open on Windows: read at any offset, and every way the
// operator's file can change meanwhile is noticed, replacing and deleting
// included, which the sharing mode must allow in the first place.

#include "engine/binary_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "platform/last_error.h"
#include "tests/engine/temp_files.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

TEST(WindowsBinaryFile, ReadsAtOffsetsAndRefusesWhatIsNoFile) {
    rtq::test::TempFolder dir;
    const std::vector<uint8_t> bytes = Bytes(70000, 3);
    const std::string path = dir.Write("f.bin", bytes);
    BinaryFile file;
    ASSERT_TRUE(file.Open(path));
    EXPECT_EQ(file.Length(), 70000);
    ASSERT_TRUE(file.Seek(65536));
    std::vector<uint8_t> buf(8192);
    // Only what is left, and binary: no byte is taken for a line end.
    EXPECT_EQ(file.Read(buf.data(), buf.size()), 70000u - 65536u);
    EXPECT_TRUE(std::equal(bytes.begin() + 65536, bytes.end(), buf.begin()));
    ASSERT_TRUE(file.Seek(10));
    EXPECT_EQ(file.Read(buf.data(), 4), 4u);
    EXPECT_EQ(buf[0], bytes[10]);

    BinaryFile other;
    EXPECT_FALSE(other.Open(dir.Path()));
    EXPECT_EQ(rtq::LastErrorDetails().number, EISDIR);
    EXPECT_FALSE(other.Open("NUL"));
    EXPECT_EQ(rtq::LastErrorDetails().number, EINVAL);
    EXPECT_FALSE(other.Open(dir.Path() + "/gone.bin"));
    EXPECT_EQ(rtq::LastErrorDetails().number, ENOENT);
    EXPECT_FALSE(rtq::LastErrorDetails().text.empty());
}

// Windows lets a file opened with delete sharing be replaced or deleted
// while it is open (a deleted file keeps its name, unopenable, until the
// last handle closes). Wine refuses the replacement (access denied) and
// keeps a deleted file openable until then, so the file held open is
// still the operator's file there: the test expects each system's own.
bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST(WindowsBinaryFile, NoticesEveryChangeWhileItIsHeldOpen) {
    const struct {
        const char* name;
        std::function<void(const std::string&)> change;
        FileChange expected;
        std::optional<FileChange> underWine = std::nullopt;  // none: as on Windows
    } cases[] = {
        {"grows", [](const std::string& p) { fs::resize_file(p, 80000); }, FileChange::Grew},
        {"shrinks", [](const std::string& p) { fs::resize_file(p, 100); }, FileChange::Truncated},
        {"rewritten in place",
         [](const std::string& p) {
             std::FILE* f = std::fopen(p.c_str(), "r+b");
             std::fputs("XXXX", f);
             std::fclose(f);
         },
         FileChange::Modified},
        {"replaced",
         [](const std::string& p) {
             const std::string other = p + ".new";
             std::FILE* f = std::fopen(other.c_str(), "wb");
             const std::vector<uint8_t> bytes = Bytes(70000, 3);
             std::fwrite(bytes.data(), 1, bytes.size(), f);
             std::fclose(f);
             fs::last_write_time(other, fs::last_write_time(p));
             std::error_code ec;
             fs::rename(other, p, ec);
             EXPECT_EQ(!ec, !UnderWine()) << ec.message();
         },
         FileChange::Replaced, FileChange::None},
        {"deleted",
         [](const std::string& p) {
             std::error_code ec;
             EXPECT_TRUE(fs::remove(p, ec)) << ec.message();
         },
         FileChange::Removed, FileChange::None},
        {"left alone", [](const std::string&) {}, FileChange::None},
    };
    for (const auto& c : cases) {
        rtq::test::TempFolder dir;
        const std::string path = dir.Write("f.bin", Bytes(70000, 3));
        // An old time stamp, so that a change within the same clock tick shows.
        fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(24));
        BinaryFile file;
        ASSERT_TRUE(file.Open(path)) << c.name;
        c.change(path);
        const FileChange expected = UnderWine() ? c.underWine.value_or(c.expected) : c.expected;
        EXPECT_EQ(file.Change(), expected) << c.name;
    }
}

}  // namespace
