#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <string>

#include "ports/device_names.h"

namespace rtq {
namespace {

// Sets RTQFLASH_DEVICE_ROOT for a test and puts the old value back.
class DeviceRootEnv {
public:
    explicit DeviceRootEnv(const char* value) {
        if (const char* old = getenv(kName)) m_old = old;
        if (value)
            setenv(kName, value, 1);
        else
            unsetenv(kName);
    }
    ~DeviceRootEnv() {
        if (m_old)
            setenv(kName, m_old->c_str(), 1);
        else
            unsetenv(kName);
    }

private:
    static constexpr const char* kName = "RTQFLASH_DEVICE_ROOT";
    std::optional<std::string> m_old;
};

TEST(DeviceNames, FamiliesOfSixteen) {
    DeviceRootEnv env(nullptr);
    const struct {
        const char* name;
        const char* path;
    } cases[] = {
        {"COM1", "/dev/ttyS0"},      {"COM16", "/dev/ttyS15"},
        {"COM17", "/dev/ttyUSB0"},   {"COM32", "/dev/ttyUSB15"},
        {"COM33", "/dev/ttyACM0"},   {"COM48", "/dev/ttyACM15"},
        {"COM49", "/dev/rfcomm0"},   {"COM64", "/dev/rfcomm15"},
        {"\\\\.\\COM17", "/dev/ttyUSB0"}, {"\\\\.\\COM5", "/dev/ttyS4"},
        {"com3", "/dev/ttyS2"},
    };
    for (const auto& c : cases) EXPECT_EQ(DevicePathForPort(c.name), c.path) << c.name;
}

TEST(DeviceNames, OtherNamesAreDevicePaths) {
    DeviceRootEnv env(nullptr);
    for (const char* name :
         {"COM0", "COM65", "COM01", "COM", "COM1x", "COM-1", "COM100", "",
          "/dev/pts/3", "\\\\.\\COM", "\\\\.\\COM0", "XCOM1", "\\\\?\\COM1"})
        EXPECT_EQ(DevicePathForPort(name), name) << name;
}

TEST(DeviceNames, RootFromEnvironment) {
    {
        DeviceRootEnv env("/tmp/rtq-devs");
        EXPECT_EQ(DeviceRoot(), "/tmp/rtq-devs");
        EXPECT_EQ(DevicePathForPort("\\\\.\\COM50"), "/tmp/rtq-devs/rfcomm1");
    }
    {
        DeviceRootEnv env("/tmp/rtq-devs/");
        EXPECT_EQ(DevicePathForPort("COM2"), "/tmp/rtq-devs/ttyS1");
    }
    {
        DeviceRootEnv env("");
        EXPECT_EQ(DeviceRoot(), "/dev");
    }
}

TEST(DeviceNames, PresenceFollowsTheDeviceFolder) {
    char dir[] = "/tmp/rtq-names-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string node = std::string(dir) + "/ttyUSB3";
    std::ofstream(node).put('x');
    {
        DeviceRootEnv env(dir);
        EXPECT_TRUE(PortDevicePresent("COM20"));
        EXPECT_TRUE(PortDevicePresent("\\\\.\\COM20"));
        EXPECT_FALSE(PortDevicePresent("COM21"));
        EXPECT_TRUE(PortDevicePresent(node));
    }
    unlink(node.c_str());
    rmdir(dir);
}

}  // namespace
}  // namespace rtq
