#include "ports/linux/usb_device_lookup.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "ports/device_names.h"
#include "ports/linux/sysfs_attribute.h"
#include "ports/usb_backend.h"

namespace rtq {

namespace fs = std::filesystem;

namespace {

struct Instance {
    unsigned number = 0;
    std::string name;  // "lpN"
    std::string vendor;
    std::string product;
    std::string deviceDir;  // the USB device's sysfs folder
};

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The number of an "lpN" entry; false for anything else in the class
// folder (other USB misc devices share it).
bool LpNumber(const std::string& name, unsigned* number) {
    if (name.size() < 3 || name.compare(0, 2, "lp") != 0) return false;
    const char* first = name.data() + 2;
    const char* last = name.data() + name.size();
    const auto [end, ec] = std::from_chars(first, last, *number);
    return ec == std::errc() && end == last && std::isdigit(static_cast<unsigned char>(*first));
}

// The first word of a sysfs attribute, lower-cased; empty when unreadable.
std::string ReadId(const fs::path& file) {
    const std::string line = ReadSysfsLine(file.string());
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) return std::string();
    return Lower(line.substr(start, line.find_first_of(" \t", start) - start));
}

std::vector<Instance> ListInstances(const std::string& sysfsRoot) {
    std::vector<Instance> found;
    std::error_code ec;
    const fs::path dir = fs::path(sysfsRoot) / "class" / "usbmisc";
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        Instance inst;
        inst.name = entry.path().filename().string();
        if (!LpNumber(inst.name, &inst.number)) continue;
        // "device" is the USB interface; the device holding the ids is
        // its parent.
        std::error_code linkError;
        const fs::path iface = fs::canonical(entry.path() / "device", linkError);
        if (linkError) continue;
        inst.deviceDir = iface.parent_path().string();
        inst.vendor = ReadId(iface.parent_path() / "idVendor");
        inst.product = ReadId(iface.parent_path() / "idProduct");
        if (!inst.vendor.empty() && !inst.product.empty()) found.push_back(inst);
    }
    std::sort(found.begin(), found.end(),
              [](const Instance& a, const Instance& b) { return a.number < b.number; });
    return found;
}

}  // namespace

int ProbeUsbPrinterNode(const std::string& path) {
    if (path.size() > kMaxUsbNodePath) return ENAMETOOLONG;
    // Opens and closes the node at once, as the real open will.
    const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    close(fd);
    return 0;
}

std::string SysfsRoot() {
    const char* root = std::getenv("RTQFLASH_SYSFS_ROOT");
    std::string r = (root && *root) ? root : "/sys";
    while (r.size() > 1 && r.back() == '/') r.pop_back();
    return r;
}

std::vector<UsbPrinterCandidate> ListUsbPrinterCandidates(const std::string& sysfsRoot,
                                                         const std::string& deviceRoot) {
    std::vector<UsbPrinterCandidate> candidates;
    const std::vector<Instance> instances = ListInstances(sysfsRoot);
    for (const UsbIdPair& ids : kUsbPrinterIds) {
        const std::string vendor = Lower(ids.vendor);
        const std::string product = Lower(ids.product);
        for (const Instance& inst : instances)
            if (inst.vendor == vendor && inst.product == product)
                candidates.push_back({deviceRoot + "/usb/" + inst.name, inst.deviceDir});
    }
    return candidates;
}

UsbLookupResult FindUsbPrinterNode(const std::string& sysfsRoot,
                                   const std::string& deviceRoot, const std::string& wanted) {
    UsbLookupResult result;
    std::vector<UsbPrinterCandidate> candidates = ListUsbPrinterCandidates(sysfsRoot, deviceRoot);
    if (!wanted.empty()) {
        std::vector<UsbPrinterCandidate> named;
        const fs::path wantedNode = fs::path(wanted).lexically_normal();
        for (const UsbPrinterCandidate& c : candidates)
            if (fs::path(c.node).lexically_normal() == wantedNode) named.push_back(c);
        if (named.empty())
            for (const UsbPrinterCandidate& c : candidates)
                if (ReadSysfsLine((fs::path(c.deviceDir) / "serial").string()) == wanted)
                    named.push_back(c);
        if (named.empty()) {
            result.refusal =
                wanted.find('/') != std::string::npos
                    ? "not a USB printer of the known ids, or not attached"
                    : "no attached USB printer of the known ids has this serial number";
            return result;
        }
        // Taking either could flash the wrong printer.
        if (named.size() > 1) {
            result.refusal = "several USB printers have this serial number (";
            for (size_t i = 0; i < named.size(); ++i)
                result.refusal += (i ? ", " : "") + named[i].node;
            result.refusal += "); name one by its node";
            return result;
        }
        candidates = named;
    }
    for (const UsbPrinterCandidate& candidate : candidates) {
        UsbNodeAttempt attempt;
        attempt.path = candidate.node;
        attempt.error = ProbeUsbPrinterNode(attempt.path);
        result.attempts.push_back(attempt);
        if (attempt.error == 0) {
            result.path = attempt.path;
            return result;
        }
    }
    return result;
}

UsbLookupResult FindUsbPrinterNode() {
    return FindUsbPrinterNode(SysfsRoot(), DeviceRoot(), WantedUsbPrinter());
}

}  // namespace rtq
