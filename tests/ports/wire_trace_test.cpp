// A failed call in the wire trace, and the trace file's life (append,
// switch, stop).

#include <gtest/gtest.h>

#include "ports/linux/linux_serial_backend.h"
#include "ports/wire_trace.h"
#include "tests/ports/port_fixture.h"
#include "tests/engine/temp_files.h"
#include "tests/ports/trace_reader.h"

namespace rtq::test {
namespace {

class WireTraceTest : public PortTest {
protected:
    std::string Start(const std::string& name) {
        std::string error;
        EXPECT_TRUE(StartWireTrace(folder.Path() + "/" + name, &error)) << error;
        return folder.Path() + "/" + name;
    }
    ~WireTraceTest() override { StopWireTrace(); }

    static std::string Events(const std::vector<TracedCall>& calls) {
        std::string out;
        for (const TracedCall& c : calls) out += c.event + " " + c.result + "; ";
        return out;
    }

    TempFolder folder;
};

TEST_F(WireTraceTest, AFailureCarriesTheSystemText) {
    LinuxSerialBackend linuxBackend;
    ScopedSerialBackend useLinux(linuxBackend);
    const std::string path = Start("wire.trace");
    EXPECT_EQ(port.Open(folder.Path() + "/no\"such%tty"), 0);
    StopWireTrace();
    const std::vector<TracedCall> open = ReadTrace(path);
    ASSERT_EQ(Events(open), "open fail; ");
    EXPECT_EQ(open[0].handle, "-");
    EXPECT_NE(open[0].details.find("no%22such%25tty\" err=\"No such file or directory\""),
              std::string::npos)
        << open[0].details;
}

TEST_F(WireTraceTest, TheFileGrowsAsCallsReturnAndIsNeverTruncated) {
    std::string error;
    EXPECT_FALSE(StartWireTrace(folder.Path() + "/missing/x.trace", &error));
    EXPECT_NE(error.find("missing/x.trace: No such file or directory"), std::string::npos) << error;
    EXPECT_EQ(&SerialBackend(), &serial);  // nothing wrapped

    const std::string kept = folder.Write("kept.trace", {'#', ' ', 'o', 'l', 'd', '\n'});
    Start("kept.trace");
    ASSERT_EQ(port.Open("COM1"), 1);
    // On disk before any stop: a crash now would keep it.
    std::vector<std::string> raw;
    EXPECT_EQ(Events(ReadTrace(kept, &raw)), "open ok; ");
    EXPECT_EQ(raw.front(), "# old");

    const std::string next = Start("next.trace");  // the backends stay wrapped once
    port.Close();
    StopWireTrace();
    raw.clear();
    EXPECT_EQ(Events(ReadTrace(kept, &raw)), "open ok; ");
    EXPECT_EQ(raw.back(), "# continued in another file");
    raw.clear();
    EXPECT_EQ(Events(ReadTrace(next, &raw)), "close ok; ");
    EXPECT_EQ(raw.back().rfind("# stopped at ", 0), 0u);
}

}  // namespace
}  // namespace rtq::test
