// flash --json and --quiet in process, against the simulated printer on
// the virtual clock.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli_app.h"
#include "engine/run_settings.h"
#include "platform/clock.h"
#include "sim/sim_printer.h"
#include "tests/engine/temp_files.h"
#include "tests/support/sim_serial_backend.h"

namespace {

using nlohmann::json;

class CliJson : public ::testing::Test {
protected:
    CliJson() { backend.AddDevice("COM5", printer); }
    ~CliJson() override {
        g_strPinCode.clear();
        g_strFriendlyName.clear();
        g_bPinCodeRun = 0;
        g_bFriendlyNameRun = 0;
    }

    int Run(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        return rtq::cli::RunCli(args, out, err, true);
    }
    // Every line of out as a JSON object; fails the test on a line that is
    // not one.
    std::vector<json> Lines() const {
        std::vector<json> lines;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) {
            const json object = json::parse(line, nullptr, false);
            EXPECT_TRUE(object.is_object()) << line;
            lines.push_back(object);
        }
        return lines;
    }

    rtq::VirtualClock clock;
    rtq::ScopedClock scopedClock{clock};
    rtq::sim::SimPrinter printer;
    rtq::test::SimSerialBackend backend;
    rtq::test::ScopedSimSerialBackend scopedBackend{backend};
    rtq::test::TempFolder dir;
    std::ostringstream out, err;
};

TEST_F(CliJson, AFlashRunIsJsonLinesEndingInTheResult) {
    const std::vector<uint8_t> image = rtq::test::FontImage(131072);
    const int64_t before = clock.NowMs();
    const int status =
        Run({"flash", "--json", "--port", "COM5", "--type", "font", dir.Write("f.bin", image)});
    const int64_t runMs = clock.NowMs() - before;
    EXPECT_EQ(status, 0) << err.str();
    EXPECT_EQ(printer.ReadFlash(0x100000, image.size()), image);
    // Nothing for a terminal: no redrawn line on stderr either.
    EXPECT_EQ(err.str(), "");

    const std::vector<json> lines = Lines();
    ASSERT_GE(lines.size(), 3u);
    const json& last = lines.back();
    EXPECT_EQ(last["event"], "result");
    EXPECT_EQ(last["result"], 1);
    EXPECT_EQ(last["message"], "Download successfully completed!");
    EXPECT_EQ(last["exit_status"], 0);
    EXPECT_FALSE(last.contains("hint"));
    // The run's time on the clock it ran on: the protocol's pauses.
    EXPECT_NEAR(last["elapsed_seconds"].get<double>(), runMs / 1000.0, 0.001);
    EXPECT_GT(runMs, 5000);

    std::vector<std::string> dataSteps;
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const json& p = lines[i];
        ASSERT_EQ(p["event"], "progress") << p;
        ASSERT_TRUE(p["step"].is_string());
        EXPECT_GE(p["percent"].get<int>(), 0);
        EXPECT_LE(p["percent"].get<int>(), 100);
        if (i > 0) {
            EXPECT_NE(p, lines[i - 1]) << "one object per change";
        }
        if (p["step"].get<std::string>().rfind("Downloading data", 0) == 0) {
            EXPECT_EQ(p["sectors"], 2) << p;
            dataSteps.push_back(p["step"]);
            EXPECT_EQ(p["step"].get<std::string>(),
                      "Downloading data to flash sector " +
                          std::to_string(p["sector"].get<int>()) + " of 2...");
        } else if (p["step"] == "Download completed!") {
            EXPECT_FALSE(p.contains("sector"));
        }
    }
    EXPECT_FALSE(dataSteps.empty());
    EXPECT_EQ(lines[lines.size() - 2]["step"], "Download completed!");
}

TEST_F(CliJson, AFailureCarriesItsMessageExitStatusAndCause) {
    const std::string missing = dir.Path() + "/gone\n.bin";
    EXPECT_EQ(Run({"flash", "--json", "--port", "COM5", "--type", "font", missing}), 7);
    const std::vector<json> lines = Lines();
    ASSERT_EQ(lines.size(), 1u) << out.str();
    EXPECT_EQ(lines[0]["result"], 1007);
    EXPECT_EQ(lines[0]["message"], "Unable to open file!");
    EXPECT_EQ(lines[0]["exit_status"], 7);
    // The file's name exactly, newline and all: JSON has its own escapes.
    EXPECT_EQ(lines[0]["hint"].get<std::string>().rfind(missing + ": No such file", 0), 0u)
        << lines[0];

    // The offending characters of a name stay exact too.
    EXPECT_EQ(Run({"flash", "--json", "--port", "COM5", "--type", "name", "--name", "a\x1b" "b"}),
              43);
    EXPECT_EQ(Lines().back()["message"], "Illegal characters in Friendly Name :  \x1b");
    EXPECT_EQ(out.str().find('\x1b'), std::string::npos);
}

TEST_F(CliJson, QuietLeavesOnlyTheResult) {
    const std::string file = dir.Write("f.bin", rtq::test::FontImage(65536));
    EXPECT_EQ(Run({"flash", "--quiet", "--port", "COM5", "--type", "font", file}), 0);
    EXPECT_EQ(out.str(), "result 1: Download successfully completed!\n");
    EXPECT_EQ(err.str(), "");

    EXPECT_EQ(Run({"flash", "--quiet", "--json", "--port", "COM5", "--type", "font", file}), 0);
    const std::vector<json> lines = Lines();
    ASSERT_EQ(lines.size(), 1u) << out.str();
    EXPECT_EQ(lines[0]["event"], "result");
}

}  // namespace
