// The wire trace's file on Windows: a new or existing regular file taken
// for appending; never the run's data file, never a device such as a port.

#include "ports/trace_file.h"

#include <gtest/gtest.h>

#include <io.h>

#include <fstream>
#include <iterator>

#include "tests/engine/temp_files.h"

namespace rtq {
namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(TraceFile, WindowsTakesAFileForAppendingButNeverTheDataFileOrADevice) {
    test::TempFolder dir;
    const std::string data = dir.Write("font.bin", {'M', 'B', '0', '1'});
    const std::vector<NotATraceFile> run = {{"the data file", data},
                                            {"the port", "\\\\.\\COM17"}};
    std::string error;
    EXPECT_EQ(OpenTraceFile(data, run, &error), -1);
    EXPECT_EQ(error, "cannot use the trace file " + data + ": it is the data file");
    EXPECT_EQ(ReadText(data), "MB01");

    EXPECT_EQ(OpenTraceFile("\\\\.\\COM17", run, &error), -1);
    EXPECT_EQ(error, "cannot use the trace file \\\\.\\COM17: it is not a regular file");

    const std::string trace = dir.Write("run.trace", {'a', '\n'});
    const int fd = OpenTraceFile(trace, run, &error);
    ASSERT_GE(fd, 0) << error;
    EXPECT_EQ(_write(fd, "b\n", 2), 2);
    _close(fd);
    EXPECT_EQ(ReadText(trace), "a\nb\n");
}

}  // namespace
}  // namespace rtq
