// rtqflash-cli list on a made-up /sys and /dev: which ports and printers
// there are, the USB adapter behind a port, and why one cannot be opened.

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "cli/cli_app.h"
#include "tests/cli/scoped_env.h"
#include "tests/engine/temp_files.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using rtq::test::ScopedEnv;

// A bench: a UART, a USB-serial adapter, a USB modem port and two USB
// printers, one of them of a known id pair.
class FakeBench {
public:
    FakeBench() {
        fs::permissions(root.Path(), fs::perms::owner_all | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read |
                                         fs::perms::others_exec);
        Node("dev/ttyS0");
        Node("dev/ttyUSB0");
        Node("dev/ttyACM1");
        Node("dev/usb/lp0");
        Node("dev/usb/lp1");
        Tty("ttyS0", "devices/platform/serial8250/tty/ttyS0");
        UsbDevice("devices/pci0/usb1/1-2", "0403", "6001", "FTDI", "FT232R USB UART",
                  "A50285BI");
        Tty("ttyUSB0", "devices/pci0/usb1/1-2/1-2:1.0/ttyUSB0");
        UsbDevice("devices/pci0/usb1/1-3", "2341", "0043", "", "Modem\x1b[2J", "");
        Tty("ttyACM1", "devices/pci0/usb1/1-3/1-3:1.0");
        UsbDevice("devices/pci0/usb2/2-1", "5e1a", "b00c", "Maker", "RTQ650", "P0001");
        Printer("lp0", "devices/pci0/usb2/2-1/2-1:1.0");
        UsbDevice("devices/pci0/usb2/2-2", "1234", "5678", "Other", "Laser", "X");
        Printer("lp1", "devices/pci0/usb2/2-2/2-2:1.0");
    }

    std::string Dev() const { return root.Path() + "/dev"; }
    std::string Sys() const { return root.Path() + "/sys"; }
    std::string SysDevice(const std::string& rel) const { return Sys() + "/" + rel; }

private:
    void Node(const std::string& rel) {
        const fs::path path = fs::path(root.Path()) / rel;
        fs::create_directories(path.parent_path());
        std::ofstream(path).put('\0');
        chmod(path.c_str(), 0666);
    }
    void Attribute(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    }
    void UsbDevice(const std::string& rel, const std::string& vendor, const std::string& product,
                   const std::string& maker, const std::string& name, const std::string& serial) {
        const fs::path dir = fs::path(Sys()) / rel;
        Attribute(dir / "idVendor", vendor);
        Attribute(dir / "idProduct", product);
        if (!maker.empty()) Attribute(dir / "manufacturer", maker);
        Attribute(dir / "product", name);
        if (!serial.empty()) Attribute(dir / "serial", serial);
    }
    void Link(const fs::path& classEntry, const std::string& deviceRel) {
        fs::create_directories(fs::path(Sys()) / deviceRel);
        fs::create_directories(classEntry);
        fs::create_directory_symlink(fs::path(Sys()) / deviceRel, classEntry / "device");
    }
    void Tty(const std::string& name, const std::string& deviceRel) {
        Link(fs::path(Sys()) / "class/tty" / name, deviceRel);
    }
    void Printer(const std::string& name, const std::string& interfaceRel) {
        Link(fs::path(Sys()) / "class/usbmisc" / name, interfaceRel);
    }

    rtq::test::TempFolder root;
};

struct Listing {
    int status = -1;
    std::string out;
    std::string err;
};

Listing List(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    Listing l;
    l.status = rtq::cli::RunCli(args, out, err, false);
    l.out = out.str();
    l.err = err.str();
    return l;
}

class CliList : public ::testing::Test {
protected:
    FakeBench bench;
    ScopedEnv devRoot{"RTQFLASH_DEVICE_ROOT", bench.Dev()};
    ScopedEnv sysRoot{"RTQFLASH_SYSFS_ROOT", bench.Sys()};
    // No Bluetooth service on this bench.
    ScopedEnv bus{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + bench.Dev() + "/no-bus"};
};

constexpr char kNoBluetooth[] =
    "Bluetooth printers: cannot be listed\n    the Bluetooth service cannot be reached (";

TEST_F(CliList, TextNamesEveryPortWithItsAdapterAndThePrinter) {
    const Listing l = List({"list"});
    EXPECT_EQ(l.status, 0);
    EXPECT_EQ(l.err, "");
    const std::string dev = bench.Dev();
    const std::string expected =
        "Serial ports:\n"
        "  COM1 " + dev + "/ttyS0: can be opened\n"
        "  COM17 " + dev + "/ttyUSB0 (USB 0403:6001 FTDI FT232R USB UART, serial A50285BI): "
        "can be opened\n"
        "  COM34 " + dev + "/ttyACM1 (USB 2341:0043 Modem\\x1b[2J): can be opened\n"
        "USB printers:\n"
        "  " + dev + "/usb/lp0 (USB 5e1a:b00c Maker RTQ650, serial P0001, " +
        fs::canonical(bench.SysDevice("devices/pci0/usb2/2-1")).string() + "): can be opened\n" +
        kNoBluetooth;
    EXPECT_EQ(l.out.substr(0, expected.size()), expected);
}

TEST_F(CliList, JsonIsOneDocumentWithTheSameFacts) {
    const Listing l = List({"list", "--json"});
    EXPECT_EQ(l.status, 0);
    const json doc = json::parse(l.out);
    const json& ports = doc["serial_ports"];
    ASSERT_EQ(ports.size(), 3u) << doc.dump(2);
    EXPECT_TRUE(ports[0]["usb"].is_null());
    EXPECT_EQ(ports[1]["port"], "COM17");
    EXPECT_EQ(ports[1]["device"], bench.Dev() + "/ttyUSB0");
    EXPECT_EQ(ports[1]["usb"]["serial"], "A50285BI");
    EXPECT_EQ(ports[1]["can_open"], true);
    // Exact, control characters and all: JSON escapes them itself.
    EXPECT_EQ(ports[2]["usb"]["product"], "Modem\x1b[2J");
    ASSERT_EQ(doc["usb_printers"].size(), 1u);
    EXPECT_EQ(doc["usb_printers"][0]["node"], bench.Dev() + "/usb/lp0");
    EXPECT_EQ(doc["usb_printers"][0]["serial"], "P0001");
}

// A FIFO in place of an attribute, one linked to an endless device and one
// far longer than any real one: list neither hangs nor eats memory, and
// prints a bounded part of each.
TEST_F(CliList, OddAttributesNeitherHangNorFloodTheListing) {
    const fs::path adapter = bench.SysDevice("devices/pci0/usb1/1-2");
    fs::remove(adapter / "manufacturer");
    ASSERT_EQ(mkfifo((adapter / "manufacturer").c_str(), 0644), 0);
    fs::remove(adapter / "product");
    fs::create_symlink("/dev/zero", adapter / "product");
    std::ofstream(adapter / "serial") << std::string(1 << 20, 'S') << "\n";
    const fs::path printer = bench.SysDevice("devices/pci0/usb2/2-1");
    fs::remove(printer / "idProduct");
    ASSERT_EQ(mkfifo((printer / "idProduct").c_str(), 0644), 0);

    const Listing l = List({"list"});
    EXPECT_EQ(l.status, 0);
    EXPECT_NE(l.out.find("ttyUSB0 (USB 0403:6001, serial " + std::string(256, 'S') + "): "),
              std::string::npos)
        << l.out.substr(0, 2000);
    EXPECT_LT(l.out.size(), 2000u);
    // A printer whose id cannot be read is not taken for one.
    EXPECT_NE(l.out.find("USB printers: none"), std::string::npos) << l.out;
}

TEST(CliListEmpty, NothingAttached) {
    rtq::test::TempFolder empty;
    ScopedEnv devRoot("RTQFLASH_DEVICE_ROOT", empty.Path());
    ScopedEnv sysRoot("RTQFLASH_SYSFS_ROOT", empty.Path());
    ScopedEnv bus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + empty.Path() + "/no-bus");
    EXPECT_EQ(List({"list"}).out.rfind(std::string("Serial ports: none\nUSB printers: none\n") +
                                           kNoBluetooth,
                                       0),
              0u);
    const json doc = json::parse(List({"list", "--json"}).out);
    EXPECT_TRUE(doc["serial_ports"].empty());
    EXPECT_TRUE(doc["usb_printers"].empty());
}

// The listing as a user who may not open the nodes: as root, run by the
// user nobody in a child; otherwise, the nodes are made unreadable to the
// owner.
std::optional<Listing> ListUnprivileged(const std::vector<std::string>& args,
                                        const std::string& lockedA, const std::string& lockedB) {
    if (geteuid() != 0) {
        chmod(lockedA.c_str(), 0);
        chmod(lockedB.c_str(), 0);
        return List(args);
    }
    chmod(lockedA.c_str(), 0600);
    chmod(lockedB.c_str(), 0600);
    const passwd* nobody = getpwnam("nobody");
    if (!nobody) return std::nullopt;
    int pipes[2][2];
    if (pipe(pipes[0]) != 0 || pipe(pipes[1]) != 0) return std::nullopt;
    const pid_t pid = fork();
    if (pid == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
            setuid(nobody->pw_uid) != 0)
            _exit(125);
        const Listing l = List(args);
        const ssize_t a = write(pipes[0][1], l.out.data(), l.out.size());
        const ssize_t b = write(pipes[1][1], l.err.data(), l.err.size());
        _exit(a < 0 || b < 0 ? 124 : l.status);
    }
    close(pipes[0][1]);
    close(pipes[1][1]);
    Listing l;
    for (int k = 0; k < 2; ++k) {
        std::string& text = k == 0 ? l.out : l.err;
        char buf[4096];
        for (ssize_t n; (n = read(pipes[k][0], buf, sizeof buf)) > 0;) text.append(buf, n);
        close(pipes[k][0]);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 125) return std::nullopt;
    l.status = WEXITSTATUS(status);
    return l;
}

TEST_F(CliList, ANodeThisUserMayNotOpenSaysWhyAndWhatToDo) {
    const std::string port = bench.Dev() + "/ttyUSB0";
    const std::string printer = bench.Dev() + "/usb/lp0";
    const std::optional<Listing> text = ListUnprivileged({"list"}, port, printer);
    if (!text) GTEST_SKIP() << "cannot run as an unprivileged user here";
    EXPECT_EQ(text->status, 0);
    EXPECT_NE(text->out.find("COM17 " + port + " (USB 0403:6001 FTDI FT232R USB UART, serial "
                             "A50285BI): cannot be opened\n    " + port +
                             ": Permission denied. Join the group that owns the port"),
              std::string::npos)
        << text->out;
    EXPECT_NE(text->out.find(": cannot be opened\n    " + printer +
                             ": Permission denied. The printer is attached but this user may "
                             "not open it"),
              std::string::npos)
        << text->out;
    EXPECT_NE(text->out.find("COM1 " + bench.Dev() + "/ttyS0: can be opened"), std::string::npos);

    const std::optional<Listing> js = ListUnprivileged({"list", "--json"}, port, printer);
    ASSERT_TRUE(js);
    const json doc = json::parse(js->out);
    EXPECT_EQ(doc["serial_ports"][1]["can_open"], false);
    EXPECT_EQ(doc["serial_ports"][1]["error"], "Permission denied");
    EXPECT_NE(doc["usb_printers"][0]["hint"].get<std::string>().find("lp group"),
              std::string::npos);
}

}  // namespace
