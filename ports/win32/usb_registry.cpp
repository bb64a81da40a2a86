#include "ports/win32/usb_registry.h"

#include <cstddef>

namespace rtq {

const char* const kUsbDeviceKeys[3] = {
    "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_5e1a&Pid_b00c",
    "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_6D31&Pid_2207",
    "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_7C44&Pid_2207",
};

namespace {

constexpr const char* kIds[3][2] = {{"5e1a", "b00c"}, {"6D31", "2207"}, {"7C44", "2207"}};
constexpr size_t kKeyPathBytes = 1024;
// The device path is read into this many bytes and must be shorter than
// kPathBytes.
constexpr uint32_t kValueBytes = 260;
constexpr size_t kPathBytes = 256;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;

// The device path of one instance, or empty.
std::string InstancePath(win32::UsbApi& api, const std::string& deviceKey,
                         const std::string& instance) {
    const std::string keyPath = deviceKey + "\\" + instance + "\\Device Parameters";
    if (keyPath.size() >= kKeyPathBytes) return {};
    uint32_t code = 0;
    const win32::SysHandle key = api.RegOpen(keyPath, &code);
    if (key == nullptr) return {};
    std::string value;
    code = api.RegQueryString(key, "SymbolicName", kValueBytes, &value);
    api.RegClose(key);
    if (code != win32::kErrorSuccess) return {};
    while (!value.empty() && value.back() == '\0') value.pop_back();
    // The system's internal form \??\ becomes the usual \\?\; anything
    // else is used as it is.
    if (value.rfind("\\??\\", 0) == 0) value[1] = '\\';
    // A longer path would not fit the path buffer; cut short it would name
    // another device.
    if (value.size() >= kPathBytes) return {};
    return value;
}

}  // namespace

void VisitUsbInstances(win32::UsbApi& api, const std::function<bool(const UsbInstance&)>& visit) {
    for (size_t k = 0; k < 3; ++k) {
        uint32_t code = 0;
        const win32::SysHandle key = api.RegOpen(kUsbDeviceKeys[k], &code);
        if (key == nullptr) continue;
        bool stop = false;
        for (uint32_t index = 0; !stop; ++index) {
            std::string name;
            code = api.RegEnumSubKey(key, index, &name);
            if (code == win32::kErrorMoreData) continue;  // a name too long for us
            if (code != win32::kErrorSuccess) break;       // the end, or a broken key
            UsbInstance printer{kIds[k][0], kIds[k][1], name,
                                InstancePath(api, kUsbDeviceKeys[k], name)};
            if (!printer.path.empty()) stop = visit(printer);
        }
        api.RegClose(key);
        if (stop) return;
    }
}

bool UsbDeviceMissing(uint32_t code) {
    switch (code) {
        case win32::kErrorInvalidHandle:
        case win32::kErrorNotReady:
        case win32::kErrorGenFailure:
        case win32::kErrorDevNotExist:
        case win32::kErrorNoSuchDevice:
        case win32::kErrorDeviceNotConnected:
            return true;
        default:
            return false;
    }
}

bool UsbInstanceAbsent(uint32_t code) {
    return code == kErrorFileNotFound || code == kErrorPathNotFound || UsbDeviceMissing(code);
}

}  // namespace rtq

namespace rtq {

std::vector<UsbPrinterListing> AttachedUsbPrinters(win32::UsbApi& api) {
    std::vector<UsbPrinterListing> found;
    VisitUsbInstances(api, [&](const UsbInstance& printer) {
        const win32::SysHandle probe = api.Probe(printer.path.c_str());
        if (probe != nullptr && probe != win32::InvalidSysHandle()) {
            api.Close(probe);
            found.push_back({printer, 0});
        } else if (const uint32_t code = api.LastError(); !UsbInstanceAbsent(code)) {
            found.push_back({printer, code});
        }
        return false;
    });
    return found;
}

}  // namespace rtq
