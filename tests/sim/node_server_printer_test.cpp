#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>

#include "sim/sim_printer.h"
#include "sim/node_server.h"
#include "sim/printer_node.h"
#include "tests/sim/frames.h"
#include "tests/sim/rtqsim_process.h"
#include "tests/sim/stand_in_node.h"

namespace rtq::sim::test {
namespace {

// Real time on purpose: the server waits on descriptors.
int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now() - since)
        .count();
}

TEST(NodeServerOnPrinterNode, StartGivesUpOnAMissingNodeWithinItsBound) {
    TempDir tmp;
    NodeServer::Options o;
    o.openWaitMs = 300;
    NodeServer server(std::make_unique<PrinterNode>(tmp.Path("g_printer0"), false), o);
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(server.Open(-1, &error), NodeServer::Outcome::Failed);
    const int64_t took = ElapsedMs(start);
    // The bound is kept on another clock, read in whole milliseconds.
    EXPECT_GE(took, 290);
    EXPECT_LT(took, 2000);
    EXPECT_NE(error.find("g_printer0"), std::string::npos) << error;
}

TEST(NodeServerOnPrinterNode, GadgetThatIsNotPluggedInIsRefused) {
    TempDir tmp;
    StandInNode node;
    ASSERT_TRUE(node.Ok());
    std::ofstream(tmp.Path("UDC")) << "\n";
    NodeServer::Options o;
    o.gadgetDir = tmp.Path("");
    NodeServer server(std::make_unique<PrinterNode>(node.Path(), false), o);
    std::string error;
    EXPECT_EQ(server.Open(-1, &error), NodeServer::Outcome::Failed);
    EXPECT_NE(error.find("empty"), std::string::npos) << error;
}

TEST(NodeServerOnPrinterNode, NodeThatDoesNotComeBackEndsServingWithAReason) {
    StandInNode node;
    ASSERT_TRUE(node.Ok());
    NodeServer::Options o;
    o.openWaitMs = 300;
    NodeServer server(std::make_unique<PrinterNode>(node.Path(), false), o);
    std::string error;
    ASSERT_EQ(server.Open(-1, &error), NodeServer::Outcome::Ok) << error;

    SimPrinter printer;
    auto serving = std::async(std::launch::async, [&] {
        std::string why;
        const bool ok = server.Serve(printer, -1, &why);
        return std::make_pair(ok, why);
    });
    ASSERT_TRUE(WriteBytes(node.Host(), Cat({SwitchFrame(), LineFrame()})));
    EXPECT_EQ(ReadBytes(node.Host(), 2, 3000), (Bytes{0x06, 0x00}));
    node.Close();
    ASSERT_EQ(serving.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << "still waiting for a node that is gone";
    const auto [ok, why] = serving.get();
    EXPECT_FALSE(ok);
    EXPECT_NE(why.find("did not come back"), std::string::npos) << why;
}

}  // namespace
}  // namespace rtq::sim::test
