// rtqflash-cli with a Bluetooth service on a private bus: list shows the
// paired printers that offer the serial port, and flash --bluetooth takes a
// printer's name to its address or says why it cannot (not paired, no
// serial port service, two printers of one name, Bluetooth off).

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <optional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sdbus-c++/sdbus-c++.h>
#include <sstream>

#include "cli/cli_app.h"
#include "tests/cli/scoped_env.h"
#include "tests/engine/temp_files.h"

extern char** environ;

namespace {

using nlohmann::json;

constexpr char kSpp[] = "00001101-0000-1000-8000-00805f9b34fb";
constexpr char kAudio[] = "0000110b-0000-1000-8000-00805f9b34fb";

// A message bus of its own with an org.bluez whose adapter and devices
// are objects under its object manager, as the real service has them. The
// objects are made before Start; what they report may change later.
class FakeBluez {
public:
    struct Device {
        std::string address;
        std::string alias;
        bool paired = false;
        bool connected = false;
        std::vector<std::string> uuids;
    };

    FakeBluez() {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        const std::string address = "--address=unix:path=" + m_dir.Path() + "/bus";
        // The child's end of the pipe, kept across exec as descriptor 3.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 3);
        const char* argv[] = {"dbus-daemon", "--session", "--nofork", address.c_str(),
                              "--print-address=3", nullptr};
        const int r = posix_spawnp(&m_daemon, "dbus-daemon", &actions, nullptr,
                                   const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (r != 0) {
            m_daemon = -1;
            close(out[0]);
            return;
        }
        // The daemon prints its address once it listens.
        pollfd p{out[0], POLLIN, 0};
        char buf[512] = {};
        if (poll(&p, 1, 10000) == 1 && read(out[0], buf, sizeof buf - 1) > 0) {
            m_address = buf;
            while (!m_address.empty() && m_address.back() == '\n') m_address.pop_back();
        }
        close(out[0]);
    }
    ~FakeBluez() {
        if (m_bus) m_bus->leaveEventLoop();
        m_objects.clear();
        m_bus.reset();
        if (m_daemon > 0) {
            kill(m_daemon, SIGTERM);
            waitpid(m_daemon, nullptr, 0);
        }
    }
    FakeBluez(const FakeBluez&) = delete;
    FakeBluez& operator=(const FakeBluez&) = delete;

    const std::string& Address() const { return m_address; }

    void AddDevice(const Device& d) { m_devices.push_back(d); }
    void SetPowered(bool on) { m_powered = on; }
    void Rename(size_t device, const std::string& alias) {
        std::lock_guard<std::mutex> lk(m_mutex);
        m_devices[device].alias = alias;
    }

    // Serves the objects; false if the bus would not take them.
    bool Start() {
        try {
            m_bus = sdbus::createSessionBusConnectionWithAddress(m_address);
            m_bus->requestName("org.bluez");
            auto root = sdbus::createObject(*m_bus, "/");
            root->addObjectManager();
            root->finishRegistration();
            m_objects.push_back(std::move(root));
            auto adapter = sdbus::createObject(*m_bus, "/org/bluez/hci0");
            adapter->registerProperty("Powered").onInterface("org.bluez.Adapter1").withGetter(
                [this] { return m_powered.load(); });
            adapter->finishRegistration();
            m_objects.push_back(std::move(adapter));
            for (size_t i = 0; i < m_devices.size(); ++i) AddObject(i);
            m_bus->enterEventLoopAsync();
            return true;
        } catch (const sdbus::Error& e) {
            ADD_FAILURE() << e.getName() << ": " << e.getMessage();
            return false;
        }
    }

private:
    void AddObject(size_t i) {
        std::string path = "/org/bluez/hci0/dev_" + m_devices[i].address;
        for (char& c : path)
            if (c == ':') c = '_';
        auto o = sdbus::createObject(*m_bus, path);
        const char* iface = "org.bluez.Device1";
        auto get = [this, i](auto field) {
            return [this, i, field] {
                std::lock_guard<std::mutex> lk(m_mutex);
                return m_devices[i].*field;
            };
        };
        o->registerProperty("Address").onInterface(iface).withGetter(get(&Device::address));
        o->registerProperty("Alias").onInterface(iface).withGetter(get(&Device::alias));
        o->registerProperty("Paired").onInterface(iface).withGetter(get(&Device::paired));
        o->registerProperty("Connected").onInterface(iface).withGetter(get(&Device::connected));
        o->registerProperty("UUIDs").onInterface(iface).withGetter(get(&Device::uuids));
        o->finishRegistration();
        m_objects.push_back(std::move(o));
    }

    rtq::test::TempFolder m_dir;
    pid_t m_daemon = -1;
    std::string m_address;
    std::unique_ptr<sdbus::IConnection> m_bus;
    std::vector<std::unique_ptr<sdbus::IObject>> m_objects;
    std::mutex m_mutex;
    std::vector<Device> m_devices;
    std::atomic<bool> m_powered{true};
};

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

CliRun Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    CliRun r;
    r.status = rtq::cli::RunCli(args, out, err, false);
    r.out = out.str();
    r.err = err.str();
    return r;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class CliBluetooth : public ::testing::Test {
protected:
    void SetUp() override {
        if (bluez.Address().empty()) GTEST_SKIP() << "dbus-daemon could not be started";
        bus.emplace("DBUS_SYSTEM_BUS_ADDRESS", bluez.Address());
        bluez.AddDevice({"00:AA:01:01:00:01", "RTQ-P1", true, true, {kAudio, kSpp}});
        bluez.AddDevice({"00:AA:01:01:00:02", "Headset", true, false, {kAudio}});
        bluez.AddDevice({"00:AA:01:01:00:03", "RTQ-P9", false, false, {kSpp}});
        bluez.AddDevice({"00:AA:01:01:00:04", "RTQ-P4", true, false, {kSpp}});
        ASSERT_TRUE(bluez.Start());
    }
    CliRun Flash(const std::string& port) {
        return Cli({"flash", "--bluetooth", "--port", port, "--type", "pin", "--pin", "1234"});
    }

    FakeBluez bluez;
    std::optional<rtq::test::ScopedEnv> bus;
    rtq::test::TempFolder empty;
    rtq::test::ScopedEnv devRoot{"RTQFLASH_DEVICE_ROOT", empty.Path()};
    rtq::test::ScopedEnv sysRoot{"RTQFLASH_SYSFS_ROOT", empty.Path()};
};

TEST_F(CliBluetooth, ListShowsPairedSerialPrintersOnly) {
    const CliRun text = Cli({"list"});
    EXPECT_EQ(text.status, 0);
    EXPECT_TRUE(Has(text.out, "Bluetooth printers:\n"
                              "  RTQ-P1 00:AA:01:01:00:01 (paired, connected)\n"))
        << text.out;
    EXPECT_FALSE(Has(text.out, "Headset")) << text.out;
    EXPECT_FALSE(Has(text.out, "RTQ-P9")) << text.out;
    EXPECT_TRUE(Has(text.out, "  RTQ-P4 00:AA:01:01:00:04 (paired, not connected)\n"))
        << text.out;

    const json doc = json::parse(Cli({"list", "--json"}).out);
    ASSERT_EQ(doc["bluetooth_printers"].size(), 2u);
    EXPECT_EQ(doc["bluetooth_printers"][0]["name"], "RTQ-P1");
    EXPECT_EQ(doc["bluetooth_printers"][0]["address"], "00:AA:01:01:00:01");
    EXPECT_EQ(doc["bluetooth_printers"][0]["connected"], true);
    EXPECT_TRUE(doc["bluetooth_error"].is_null());
}

TEST_F(CliBluetooth, FlashTakesANameToItsAddressOrSaysWhy) {
    // Found: the open goes to the printer's address (this machine has no
    // radio to reach it, which the hint names).
    CliRun r = Flash("rtq-p1");
    EXPECT_EQ(r.status, 17);
    EXPECT_TRUE(Has(r.err, "rtqflash-cli: 00:AA:01:01:00:01: ")) << r.err;

    r = Flash("RTQ-P9");
    EXPECT_EQ(r.status, 17);
    EXPECT_TRUE(Has(r.err, "RTQ-P9: no paired Bluetooth printer has this name") &&
                Has(r.err, "Pair the printer"))
        << r.err;

    r = Flash("Headset");
    EXPECT_TRUE(Has(r.err, "offers no serial port service")) << r.err;

    bluez.Rename(3, "RTQ-P1");
    r = Flash("RTQ-P1");
    EXPECT_TRUE(Has(r.err, "several paired printers have this name (00:AA:01:01:00:01, "
                           "00:AA:01:01:00:04)"))
        << r.err;

    bluez.SetPowered(false);
    r = Flash("RTQ-P1");
    EXPECT_TRUE(Has(r.err, "Bluetooth is switched off")) << r.err;
    EXPECT_TRUE(Has(Cli({"list"}).out, "Bluetooth printers: cannot be listed"));
}

}  // namespace
