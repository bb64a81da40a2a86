// The data file as an operator can get it wrong: something that is not a
// file at all, or a file that changes while it is being written.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "engine/data_file.h"
#include "engine/failure_hint.h"
#include "engine/result_codes.h"
#include "engine/sector_sizes.h"
#include "tests/engine/serial_bench.h"
#include "tests/support/fifo_guard.h"

namespace {

using rtq::sim::CommandKind;
using rtq::sim::EventType;
using rtq::sim::SimEvent;
using rtq::test::SerialBench;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(DataFileSafety, ANamedPipeIsRefusedWithoutWaitingForAWriter) {
    rtq::test::TempFolder dir;
    rtq::test::FifoGuard fifo(dir.Path() + "/f.bin");
    ASSERT_TRUE(fifo.Made());
    const std::string& path = fifo.Path();
    const std::string refusal = path + ": not a regular file. Pick a data file.";

    int r = 0;
    EXPECT_TRUE(fifo.ReturnsWithoutBlocking([&] { r = CheckFileIdentity(path, DownloadKind::Font); }));
    EXPECT_EQ(r, kResultFileOpenFailed);
    EXPECT_EQ(FailureHint(r), refusal);

    EXPECT_TRUE(fifo.ReturnsWithoutBlocking([&] {
        r = CheckDataFileLength(path, 20, false, g_aSectorSizes);
    }));
    EXPECT_EQ(r, kResultFileOpenFailed);

    SerialBench b;
    EXPECT_TRUE(fifo.ReturnsWithoutBlocking([&] { r = b.downloader->CheckDataFile(path); }));
    EXPECT_EQ(r, kResultFileOpenFailed);
    EXPECT_TRUE(fifo.ReturnsWithoutBlocking([&] { r = b.Run({path, 20}); }));
    EXPECT_EQ(r, kResultFileOpenFailed);
    EXPECT_EQ(FailureHint(r), refusal);
    EXPECT_TRUE(b.backend.WrittenBytes().empty());
}

// A main firmware file of three sectors: the run erases sector 6, then
// writes 8, 7 and 6. `change` runs when the printer answers the checksum
// query of sector 8, before the file is read for sector 7.
struct ChangedRun {
    int result = 0;
    std::string hint;
    std::vector<int> written;
};

ChangedRun RunWhileChanging(const std::function<void(const std::string&)>& change) {
    SerialBench b;
    const std::string path = b.dir.Write("m.mfw", rtq::test::MainFirmwareImage(3 * 65536));
    // An old time stamp, so that a change within the same clock tick shows.
    const timespec old[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};
    utimensat(AT_FDCWD, path.c_str(), old, 0);
    bool changed = false;
    b.printer.SetObserver([&](const SimEvent& e) {
        if (!changed && e.type == EventType::Command && e.kind == CommandKind::Checksum) {
            changed = true;
            change(path);
        }
    });
    ChangedRun out;
    out.result = b.Run({path, 6, true});
    out.hint = FailureHint(out.result);
    out.written = b.printer.WrittenSectors();
    return out;
}

void Append(const std::string& path, size_t n) {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    const std::vector<uint8_t> bytes = rtq::test::PatternBytes(n, 9);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

TEST(DataFileSafety, AFileThatChangesDuringTheRunEndsItBeforeWrongBytesAreSent) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> change;
        const char* cause;
    };
    const Case cases[] = {
        {"grows", [](const std::string& p) { Append(p, 65536); }, "grew"},
        {"shrinks", [](const std::string& p) { truncate(p.c_str(), 65536); }, "was truncated"},
        {"rewritten in place",
         [](const std::string& p) {
             std::FILE* f = std::fopen(p.c_str(), "r+b");
             std::fputs("XXXX", f);
             std::fclose(f);
         },
         "was modified"},
        {"replaced",
         [](const std::string& p) {
             const std::string other = p + ".new";
             std::FILE* f = std::fopen(other.c_str(), "wb");
             const std::vector<uint8_t> bytes = rtq::test::MainFirmwareImage(3 * 65536);
             std::fwrite(bytes.data(), 1, bytes.size(), f);
             std::fclose(f);
             std::rename(other.c_str(), p.c_str());
         },
         "was replaced"},
    };
    for (const Case& c : cases) {
        const ChangedRun run = RunWhileChanging(c.change);
        EXPECT_EQ(run.result, kResultFileOpenFailed) << c.name;
        // Sector 8 went out before the change; nothing after it.
        EXPECT_EQ(run.written, (std::vector<int>{8})) << c.name;
        EXPECT_TRUE(Has(run.hint, "m.mfw: the file " + std::string(c.cause) +
                                      " during the download"))
            << c.name << ": " << run.hint;
    }
}

TEST(DataFileSafety, AnUnchangedFileStillRunsToTheEnd) {
    // The checks between sectors must not mistake reading for a change.
    const ChangedRun run = RunWhileChanging([](const std::string&) {});
    EXPECT_EQ(run.result, kResultSuccess);
    EXPECT_EQ(run.written, (std::vector<int>{8, 7, 6}));
}

}  // namespace
