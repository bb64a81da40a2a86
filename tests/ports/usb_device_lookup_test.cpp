// Finding the printer's node on a fake sysfs and device tree.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "ports/linux/linux_usb_backend.h"
#include "ports/linux/usb_device_lookup.h"
#include "engine/failure_hint.h"
#include "engine/result_codes.h"
#include "platform/last_error.h"
#include "ports/usb_backend.h"

namespace rtq {
namespace {

namespace fs = std::filesystem;

enum class Node { Openable, Missing, Directory };

void SetNode(const std::string& devRoot, const std::string& name, Node node) {
    const fs::path path = fs::path(devRoot) / "usb" / name;
    fs::create_directories(path.parent_path());
    fs::remove_all(path);
    if (node == Node::Openable) std::ofstream(path).put('\0');
    if (node == Node::Directory) fs::create_directory(path);
}

struct FakeTree {
    FakeTree() {
        char pattern[] = "/tmp/rtq-usb-lookup-XXXXXX";
        root = mkdtemp(pattern);
        sys = root + "/sys";
        dev = root + "/dev";
    }
    ~FakeTree() { fs::remove_all(root); }

    // A usbmisc entry whose interface's parent device holds the ids.
    void Add(const std::string& name, const std::string& vendor,
             const std::string& product, Node node = Node::Openable) {
        const fs::path device = fs::path(sys) / "devices" / name;
        fs::create_directories(device / "1-1:1.0");
        std::ofstream(device / "idVendor") << vendor << "\n";
        std::ofstream(device / "idProduct") << product << "\n";
        const fs::path entry = fs::path(sys) / "class/usbmisc" / name;
        fs::create_directories(entry);
        fs::create_directory_symlink(device / "1-1:1.0", entry / "device");
        SetNode(dev, name, node);
    }
    void SetSerial(const std::string& name, const std::string& serial) {
        std::ofstream(fs::path(sys) / "devices" / name / "serial") << serial << "\n";
    }
    std::string NodePath(const std::string& name) const { return dev + "/usb/" + name; }
    UsbLookupResult Find() const { return FindUsbPrinterNode(sys, dev); }

    std::string root, sys, dev;
};

TEST(UsbDeviceLookup, TableOrderFirstThenInstancesByNumber) {
    FakeTree t;
    t.Add("lp0", "7c44", "2207");
    t.Add("lp1", "6d31", "2207");
    t.Add("lp10", "5E1A", "B00C");
    t.Add("lp2", "5e1a", "b00c");
    t.Add("lp3", "1234", "2207");
    t.Add("hiddev0", "5e1a", "b00c");  // not a printer node
    EXPECT_EQ(t.Find().path, t.NodePath("lp2"));

    // Unopenable instances are passed over, each attempt kept.
    SetNode(t.dev, "lp2", Node::Directory);
    UsbLookupResult r = t.Find();
    EXPECT_EQ(r.path, t.NodePath("lp10"));
    ASSERT_EQ(r.attempts.size(), 2u);
    EXPECT_EQ(r.attempts[0].path, t.NodePath("lp2"));
    EXPECT_EQ(r.attempts[0].error, EISDIR);

    SetNode(t.dev, "lp10", Node::Missing);
    EXPECT_EQ(t.Find().path, t.NodePath("lp1"));
    SetNode(t.dev, "lp1", Node::Missing);
    r = t.Find();
    EXPECT_EQ(r.path, t.NodePath("lp0"));
    EXPECT_EQ(r.attempts.size(), 4u);
}

TEST(UsbDeviceLookup, NamedPrinterByNodeOrSerialAndNoOther) {
    FakeTree t;
    t.Add("lp0", "7c44", "2207");
    t.Add("lp1", "6d31", "2207");
    t.Add("lp2", "5e1a", "b00c");
    t.Add("lp3", "1234", "2207");
    t.SetSerial("lp0", "A100");
    t.SetSerial("lp1", "B200");
    t.SetSerial("lp3", "C300");
    const auto find = [&](const std::string& wanted) {
        return FindUsbPrinterNode(t.sys, t.dev, wanted);
    };
    // Named, a printer later in the order is taken over the first.
    EXPECT_EQ(find(t.NodePath("lp1")).path, t.NodePath("lp1"));
    EXPECT_EQ(find(t.dev + "//usb/./lp0").path, t.NodePath("lp0"));
    EXPECT_EQ(find("A100").path, t.NodePath("lp0"));
    EXPECT_EQ(find("B200").path, t.NodePath("lp1"));

    // Not among the printers of the known ids: refused, nothing opened.
    for (const std::string& wanted : {t.NodePath("lp3"), t.NodePath("lp9"), std::string("C300"),
                                      std::string("a100"), std::string("lp1")}) {
        const UsbLookupResult r = find(wanted);
        EXPECT_FALSE(r.Found()) << wanted;
        EXPECT_TRUE(r.attempts.empty()) << wanted;
        EXPECT_FALSE(r.refusal.empty()) << wanted;
    }
    EXPECT_NE(find("C300").refusal.find("serial number"), std::string::npos);
    EXPECT_NE(find(t.NodePath("lp9")).refusal.find("not attached"), std::string::npos);

    // A named printer that will not open is not replaced by another.
    SetNode(t.dev, "lp1", Node::Directory);
    const UsbLookupResult r = find("B200");
    EXPECT_FALSE(r.Found());
    EXPECT_TRUE(r.refusal.empty());
    ASSERT_EQ(r.attempts.size(), 1u);
    EXPECT_EQ(r.attempts[0].path, t.NodePath("lp1"));
    EXPECT_EQ(r.attempts[0].error, EISDIR);
}

TEST(UsbDeviceLookup, SharedSerialNumberIsRefusedNamingEveryNode) {
    FakeTree t;
    t.Add("lp0", "7c44", "2207");
    t.Add("lp1", "5e1a", "b00c");
    t.Add("lp2", "6d31", "2207");
    t.SetSerial("lp0", "SAME");
    t.SetSerial("lp1", "SAME");
    t.SetSerial("lp2", "OTHER");
    const UsbLookupResult r = FindUsbPrinterNode(t.sys, t.dev, "SAME");
    EXPECT_FALSE(r.Found());
    EXPECT_TRUE(r.attempts.empty());
    EXPECT_NE(r.refusal.find(t.NodePath("lp0")), std::string::npos) << r.refusal;
    EXPECT_NE(r.refusal.find(t.NodePath("lp1")), std::string::npos) << r.refusal;
    EXPECT_EQ(r.refusal.find(t.NodePath("lp2")), std::string::npos) << r.refusal;
    // Either can still be named by its node.
    EXPECT_EQ(FindUsbPrinterNode(t.sys, t.dev, t.NodePath("lp0")).path, t.NodePath("lp0"));
}

TEST(UsbDeviceLookup, NodePathMustFitTheSlot) {
    FakeTree t;
    t.Add("lp0", "5e1a", "b00c");
    // Device roots giving node paths of 255 and 256 characters, in two
    // components so that each stays under the file-name limit.
    const auto rootFor = [&](size_t nodeLength) {
        const size_t pad = nodeLength - t.root.size() - 2 - std::string("/usb/lp0").size();
        const std::string d = t.root + "/" + std::string(pad / 2, 'x') + "/" +
                              std::string(pad - pad / 2, 'y');
        SetNode(d, "lp0", Node::Openable);
        return d;
    };
    EXPECT_EQ(FindUsbPrinterNode(t.sys, rootFor(kMaxUsbNodePath)).path.size(),
              kMaxUsbNodePath);
    const UsbLookupResult r = FindUsbPrinterNode(t.sys, rootFor(kMaxUsbNodePath + 1));
    EXPECT_FALSE(r.Found());
    ASSERT_EQ(r.attempts.size(), 1u);
    EXPECT_EQ(r.attempts[0].error, ENAMETOOLONG);
}

TEST(UsbDeviceLookup, BackendTellsNothingAttachedFromNothingOpenable) {
    FakeTree t;
    t.Add("lp4", "6D31", "2207");
    t.Add("lp5", "1234", "5678");
    setenv("RTQFLASH_SYSFS_ROOT", (t.sys + "/").c_str(), 1);
    setenv("RTQFLASH_DEVICE_ROOT", t.dev.c_str(), 1);
    LinuxUsbBackend backend;
    std::string path;
    EXPECT_TRUE(backend.FindDevicePath(&path));
    EXPECT_EQ(path, t.NodePath("lp4"));

    SetNode(t.dev, "lp4", Node::Missing);
    EXPECT_FALSE(backend.FindDevicePath(&path));
    EXPECT_TRUE(path.empty());
    EXPECT_TRUE(backend.LastLookup().FoundButUnopenable());

    // Read again at each lookup: no sysfs at all, nothing attached.
    setenv("RTQFLASH_SYSFS_ROOT", (t.root + "/none").c_str(), 1);
    EXPECT_FALSE(backend.FindDevicePath(&path));
    EXPECT_FALSE(backend.LastLookup().FoundButUnopenable());
    unsetenv("RTQFLASH_SYSFS_ROOT");
    unsetenv("RTQFLASH_DEVICE_ROOT");
}

TEST(UsbDeviceLookup, BackendFindsTheWantedPrinterAndSaysWhyNot) {
    FakeTree t;
    t.Add("lp0", "5e1a", "b00c");
    t.Add("lp1", "5e1a", "b00c");
    t.SetSerial("lp1", "X9");
    setenv("RTQFLASH_SYSFS_ROOT", t.sys.c_str(), 1);
    setenv("RTQFLASH_DEVICE_ROOT", t.dev.c_str(), 1);
    LinuxUsbBackend backend;
    std::string path;
    SetWantedUsbPrinter("X9");
    EXPECT_TRUE(backend.FindDevicePath(&path));
    EXPECT_EQ(path, t.NodePath("lp1"));

    // The cause names the printer and carries no error number: the
    // program found it, not a system call.
    SetWantedUsbPrinter("NOPE");
    EXPECT_FALSE(backend.FindDevicePath(&path));
    LastError e = LastErrorDetails();
    EXPECT_EQ(e.path, "NOPE");
    EXPECT_EQ(e.number, 0);
    EXPECT_NE(e.text.find("serial number"), std::string::npos);
    const std::string hint = FailureHint(kResultUsbOpenFailed, e);
    EXPECT_EQ(hint.rfind("NOPE: ", 0), 0u) << hint;
    EXPECT_NE(hint.find("rtqflash-cli list"), std::string::npos) << hint;

    SetWantedUsbPrinter("X9");
    SetNode(t.dev, "lp1", Node::Missing);
    EXPECT_FALSE(backend.FindDevicePath(&path));
    e = LastErrorDetails();
    EXPECT_EQ(e.path, t.NodePath("lp1"));
    EXPECT_EQ(e.number, ENOENT);

    SetWantedUsbPrinter({});
    EXPECT_TRUE(backend.FindDevicePath(&path));
    EXPECT_EQ(path, t.NodePath("lp0"));
    unsetenv("RTQFLASH_SYSFS_ROOT");
    unsetenv("RTQFLASH_DEVICE_ROOT");
}

}  // namespace
}  // namespace rtq
