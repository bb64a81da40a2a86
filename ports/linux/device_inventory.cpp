#include "ports/linux/device_inventory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "ports/device_names.h"
#include "ports/linux/sysfs_attribute.h"
#include "ports/linux/usb_device_lookup.h"

namespace rtq {

namespace fs = std::filesystem;

namespace {

std::string ReadLine(const fs::path& file) { return ReadSysfsLine(file.string()); }

UsbDeviceInfo ReadUsbDevice(const fs::path& dir) {
    UsbDeviceInfo info;
    info.sysfsPath = dir.string();
    info.vendorId = ReadLine(dir / "idVendor");
    info.productId = ReadLine(dir / "idProduct");
    info.manufacturer = ReadLine(dir / "manufacturer");
    info.product = ReadLine(dir / "product");
    info.serial = ReadLine(dir / "serial");
    return info;
}

// The USB device a tty hangs from: the nearest folder above its device
// that has USB ids (ttyUSB: port, interface, device; ttyACM: interface,
// device). Never above the sysfs root.
std::optional<UsbDeviceInfo> UsbDeviceOfTty(const std::string& sysfsRoot,
                                            const std::string& ttyName) {
    std::error_code ec;
    const fs::path root = fs::weakly_canonical(sysfsRoot, ec);
    if (ec) return std::nullopt;
    fs::path dir = fs::canonical(fs::path(sysfsRoot) / "class" / "tty" / ttyName / "device", ec);
    if (ec) return std::nullopt;
    const std::string rootText = root.string() + "/";
    for (int level = 0; level < 4; ++level, dir = dir.parent_path()) {
        if (dir.string().rfind(rootText, 0) != 0) break;
        if (fs::exists(dir / "idVendor", ec) && fs::exists(dir / "idProduct", ec))
            return ReadUsbDevice(dir);
    }
    return std::nullopt;
}

int AccessError(const std::string& path) {
    return faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

}  // namespace

std::vector<SerialPortEntry> ListSerialPorts(const std::string& sysfsRoot) {
    std::vector<SerialPortEntry> ports;
    for (int n = 1; n <= kLastComPort; ++n) {
        SerialPortEntry entry;
        entry.number = n;
        entry.comName = ComPortName(n);
        entry.devicePath = DevicePathForPort(entry.comName);
        struct stat st {};
        if (stat(entry.devicePath.c_str(), &st) != 0) continue;
        entry.usb = UsbDeviceOfTty(sysfsRoot, fs::path(entry.devicePath).filename().string());
        entry.accessError = AccessError(entry.devicePath);
        ports.push_back(std::move(entry));
    }
    return ports;
}

std::vector<UsbPrinterEntry> ListUsbPrinters(const std::string& sysfsRoot,
                                             const std::string& deviceRoot) {
    std::vector<UsbPrinterEntry> printers;
    for (const UsbPrinterCandidate& candidate : ListUsbPrinterCandidates(sysfsRoot, deviceRoot)) {
        UsbPrinterEntry entry;
        entry.node = candidate.node;
        entry.device = ReadUsbDevice(candidate.deviceDir);
        entry.openError = ProbeUsbPrinterNode(candidate.node);
        printers.push_back(std::move(entry));
    }
    return printers;
}

}  // namespace rtq
