#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace {

using rtq::cli::Command;
using rtq::cli::ParseCommandLine;
using rtq::cli::ParseResult;

TEST(CliOptions, FlashWithEveryOption) {
    const ParseResult r = ParseCommandLine({"flash", "--port", "COM3", "--type=PIN CODE",
                                            "--bluetooth", "--baud", "19200", "--parity=odd",
                                            "--stop-bits", "2", "--pin", "", "--name", "N",
                                            "font.bin"});
    ASSERT_TRUE(r.ok) << r.error;
    const auto& o = r.options;
    EXPECT_EQ(o.command, Command::Flash);
    EXPECT_EQ(o.port, "COM3");
    EXPECT_EQ(o.type, "PIN CODE");
    EXPECT_TRUE(o.bluetooth);
    EXPECT_EQ(o.baud, "19200");
    EXPECT_TRUE(o.baudGiven);
    EXPECT_EQ(o.parity, "odd");
    EXPECT_EQ(o.stopBits, "2");
    EXPECT_TRUE(o.pinGiven);
    EXPECT_EQ(o.pin, "");
    EXPECT_EQ(o.name, "N");
    EXPECT_EQ(o.file, "font.bin");
    EXPECT_TRUE(o.fileGiven);
}

TEST(CliOptions, DefaultsStayUnset) {
    const ParseResult r =
        ParseCommandLine({"flash", "--port", "/dev/x", "--type", "pin", "--pin", "1"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(r.options.baudGiven);
    EXPECT_FALSE(r.options.parityGiven);
    EXPECT_FALSE(r.options.stopBitsGiven);
    EXPECT_FALSE(r.options.fileGiven);
    EXPECT_FALSE(r.options.bluetooth);
}

TEST(CliOptions, AFileNamedLikeAnOptionAfterTheEnd) {
    const ParseResult r = ParseCommandLine({"check", "--type", "font", "--", "--odd.bin"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.command, Command::Check);
    EXPECT_EQ(r.options.file, "--odd.bin");
}

TEST(CliOptions, HelpOfEachCommandAndVersion) {
    const ParseResult top = ParseCommandLine({"--help"});
    EXPECT_EQ(top.options.command, Command::Help);
    for (const char* command : {"flash", "check", "list"})
        EXPECT_NE(top.text.find(command), std::string::npos) << command;

    const std::vector<std::vector<std::string>> flashHelp = {
        {"flash", "--help"}, {"flash", "--port", "COM1", "-h"}, {"help", "flash"}};
    for (const auto& args : flashHelp) {
        const ParseResult r = ParseCommandLine(args);
        ASSERT_TRUE(r.ok) << args.back();
        EXPECT_EQ(r.options.command, Command::Help);
        EXPECT_NE(r.text.find("usage: rtqflash-cli flash"), std::string::npos) << r.text;
        EXPECT_NE(r.text.find("--stop-bits"), std::string::npos);
    }
    EXPECT_EQ(ParseCommandLine({"list", "--help"}).text.find("--port"), std::string::npos)
        << "only list's own options";

    const ParseResult version = ParseCommandLine({"--version"});
    ASSERT_TRUE(version.ok);
    EXPECT_EQ(version.options.command, Command::Version);
    EXPECT_EQ(version.text, "rtqflash-cli 4.0.0\n");
}

TEST(CliOptions, ListAndOutputModes) {
    ParseResult r = ParseCommandLine({"list", "--json"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.command, Command::List);
    EXPECT_TRUE(r.options.json);
    r = ParseCommandLine({"flash", "--usb", "--type", "pin", "--pin", "1", "--json", "--quiet"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.options.json);
    EXPECT_TRUE(r.options.quiet);
    // A value that begins with "-" is still a value.
    r = ParseCommandLine({"flash", "--port", "COM1", "--type", "name", "--name", "-x-"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.name, "-x-");
}

TEST(CliOptions, RefusedCommandLines) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"burn", "--type", "font", "f.bin"},
        {"flash", "--type", "font", "f.bin"},                   // no port
        {"flash", "--port", "COM1", "f.bin"},                   // no type
        {"flash", "--port", "COM1", "--type"},                  // value missing
        {"flash", "--port", "COM1", "--type", "font", "a", "b"},
        {"flash", "--port", "COM1", "--port", "COM2", "--type", "font"},
        {"flash", "--port", "COM1", "--type", "font", "--speed", "9600"},
        {"flash", "--port", "COM1", "--type", "font", "-b"},
        {"flash", "--port", "COM1", "--type", "font", "--bluetooth=yes"},
        {"flash", "--port", "COM1", "--type", "pin", "--pin", std::string(17, '1')},
        {"flash", "--port", "COM1", "--type", "name", "--name", std::string(33, 'n')},
        {"check", "--type", "font"},                             // no file
        {"check", "--type", "font", "--port", "COM1", "f.bin"},  // touches no port
        {"check", "--type", "font", "--baud", "9600", "f.bin"},
        {"check", "--type", "font", "--json", "f.bin"},
        {"list", "--port", "COM1"},
        {"list", "extra"},
        {"flash", "--port", "COM1", "--type", "font", "--quiet=yes"},
    };
    for (const auto& args : bad) {
        const ParseResult r = ParseCommandLine(args);
        EXPECT_FALSE(r.ok) << (args.empty() ? "(none)" : args.back());
        EXPECT_FALSE(r.error.empty());
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
    }
    EXPECT_NE(ParseCommandLine({"burn"}).error.find("unknown command \"burn\""),
              std::string::npos);
    EXPECT_NE(ParseCommandLine({"--bogus", "flash"}).error.find("\"--bogus\""), std::string::npos);
    EXPECT_NE(ParseCommandLine({"flash", "--port", "COM1", "--port", "COM2", "--type", "font"})
                  .error.find("--port given twice"),
              std::string::npos);
    EXPECT_NE(ParseCommandLine({"flash", "--type", "font"}).error.find("rtqflash-cli flash --help"),
              std::string::npos);
    EXPECT_TRUE(ParseCommandLine({"flash", "--port", "COM1", "--type", "pin", "--pin",
                                  std::string(16, '1')})
                    .ok);
    EXPECT_TRUE(ParseCommandLine({"flash", "--port", "COM1", "--type", "name", "--name",
                                  std::string(32, 'n')})
                    .ok);
}

// What a download type needs must be asked for; what it cannot use, or a
// number that is not one, is a mistake on the command line, never a
// setting written or a setting code.
TEST(CliOptions, ValuesATypeNeedsOrCannotUseAndMalformedNumbers) {
    const std::vector<std::string> base = {"flash", "--port", "COM1"};
    const auto parse = [&](std::vector<std::string> more) {
        std::vector<std::string> args = base;
        args.insert(args.end(), more.begin(), more.end());
        return ParseCommandLine(args);
    };
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--type", "pin"}, "--type pin needs --pin (--pin \"\" clears the PIN code)"},
        {{"--type", "FRIENDLY NAME"}, "--type FRIENDLY NAME needs --name"},
        {{"--type", "font", "--pin", "1", "f.bin"}, "--pin is not used with --type font"},
        {{"--type", "main", "--name", "", "f.mfw"}, "--name is not used with --type main"},
        {{"--type", "font", "--baud", "9600x", "f.bin"}, "--baud takes a whole number"},
        {{"--type", "font", "--baud", "4294967297", "f.bin"}, "--baud takes a whole number"},
        {{"--type", "font", "--baud", "", "f.bin"}, "--baud takes a whole number"},
        {{"--type", "font", "--baud", " 9600", "f.bin"}, "--baud takes a whole number"},
        {{"--type", "font", "--stop-bits", "1.5", "f.bin"}, "--stop-bits takes a whole number"},
    };
    for (const auto& [args, error] : refused) {
        const ParseResult r = parse(args);
        EXPECT_FALSE(r.ok) << args[1];
        EXPECT_NE(r.error.find(error), std::string::npos) << r.error;
    }
    // An empty PIN code clears it; numbers the printer does not take, and
    // a type that is not known, are for the settings check with its codes.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--type", "pin", "--pin", ""},
             {"--type", "name", "--name", ""},
             {"--type", "font", "--baud", "12345", "--stop-bits", "3", "f.bin"},
             {"--type", "font", "--baud", "-9600", "f.bin"},
             {"--type", "nope", "--pin", "1"}}) {
        const ParseResult r = parse(args);
        EXPECT_TRUE(r.ok) << args[1] << ": " << r.error;
    }
}

}  // namespace
