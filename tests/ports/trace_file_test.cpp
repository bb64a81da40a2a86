// The wire trace's file: only a regular file or a new one, never through a
// link, never blocking on a FIFO, never the run's data file or port.

#include "ports/trace_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "tests/engine/temp_files.h"

namespace rtq {
namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Refused with the reason, and nothing written or created.
void ExpectRefused(const std::string& path, const std::vector<NotATraceFile>& others,
                   const std::string& reason) {
    std::string error;
    const int fd = OpenTraceFile(path, others, &error);
    if (fd >= 0) close(fd);
    EXPECT_EQ(fd, -1) << path;
    EXPECT_EQ(error, "cannot use the trace file " + path + ": " + reason);
}

TEST(TraceFile, OnlyARegularFileOrANewOneThatIsNoneOfTheRunsFiles) {
    test::TempFolder dir;
    const std::string data = dir.Write("font.bin", {'M', 'B', '0', '1'});
    const std::string port = dir.Write("ttyS4", {});
    const std::vector<NotATraceFile> run = {{"the data file", data}, {"the port", port}};

    ExpectRefused(data, run, "it is the data file");
    ExpectRefused(port, run, "it is the port");
    // Another name of the same file.
    ASSERT_EQ(link(data.c_str(), (dir.Path() + "/hard").c_str()), 0);
    ExpectRefused(dir.Path() + "/hard", run, "it is the data file");
    // A link is not followed, whoever owns its target.
    const std::string target = dir.Write("target", {'k', 'e', 'p', 't'});
    ASSERT_EQ(symlink(target.c_str(), (dir.Path() + "/sym").c_str()), 0);
    ExpectRefused(dir.Path() + "/sym", {}, "it is a symbolic link");
    ASSERT_EQ(symlink((dir.Path() + "/new").c_str(), (dir.Path() + "/dangling").c_str()), 0);
    ExpectRefused(dir.Path() + "/dangling", {}, "it is a symbolic link");
    EXPECT_NE(access((dir.Path() + "/new").c_str(), F_OK), 0);
    // A FIFO would block the open until somebody reads it.
    ASSERT_EQ(mkfifo((dir.Path() + "/fifo").c_str(), 0600), 0);
    ExpectRefused(dir.Path() + "/fifo", {}, "it is not a regular file");
    ExpectRefused(dir.Path(), {}, "it is not a regular file");
    ExpectRefused("/dev/null", {}, "it is not a regular file");
    EXPECT_EQ(ReadText(data), "MB01");
    EXPECT_EQ(ReadText(target), "kept");

    // A new trace holds the PIN code: its owner's alone.
    std::string error;
    const std::string fresh = dir.Path() + "/wire.trace";
    int fd = OpenTraceFile(fresh, run, &error);
    ASSERT_GE(fd, 0) << error;
    close(fd);
    struct stat st {};
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // An existing regular file is appended to.
    fd = OpenTraceFile(target, run, &error);
    ASSERT_GE(fd, 0) << error;
    EXPECT_EQ(write(fd, "+", 1), 1);
    close(fd);
    EXPECT_EQ(ReadText(target), "kept+");
}

}  // namespace
}  // namespace rtq
