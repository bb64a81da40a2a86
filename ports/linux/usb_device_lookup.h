#pragma once
// Finding the USB printer's device node on Linux: the usblp nodes whose
// USB device carries one of the printer's vendor/product id pairs, tried
// in a fixed order; the first node that opens read-write wins.

#include <cstddef>
#include <string>
#include <vector>

namespace rtq {

struct UsbIdPair {
    const char* vendor;   // hex, compared without regard to case
    const char* product;
};

// Searched in this order; within one pair, instances by number.
inline constexpr UsbIdPair kUsbPrinterIds[] = {
    {"5e1a", "b00c"},
    {"6D31", "2207"},
    {"7C44", "2207"},
};

// The longest node path the callers can hold (a 256-byte slot with its
// terminating NUL); longer ones are refused.
inline constexpr size_t kMaxUsbNodePath = 255;

// One candidate node and how its probe went.
struct UsbNodeAttempt {
    std::string path;
    int error = 0;  // errno of the failed probe; 0 when it opened
};

struct UsbLookupResult {
    std::string path;                      // the winner; empty when none
    std::vector<UsbNodeAttempt> attempts;  // every candidate, in the order tried
    // Why a printer the operator named was not tried (not attached, no
    // such serial number, or one shared by several); empty otherwise.
    std::string refusal;

    bool Found() const { return !path.empty(); }
    // A printer with a known id is attached, but none of its nodes opened.
    bool FoundButUnopenable() const { return path.empty() && !attempts.empty(); }
};

// The sysfs folder in force: RTQFLASH_SYSFS_ROOT, default /sys.
std::string SysfsRoot();

// A node whose USB device carries one of the id pairs.
struct UsbPrinterCandidate {
    std::string node;       // deviceRoot/usb/lpN
    std::string deviceDir;  // the USB device's folder in sysfs
};
// Every such node, in the order they are tried; none is opened.
std::vector<UsbPrinterCandidate> ListUsbPrinterCandidates(const std::string& sysfsRoot,
                                                         const std::string& deviceRoot);
// Opens the node read-write and closes it at once: 0 or the errno of the
// failed open (ENAMETOOLONG for a path longer than kMaxUsbNodePath).
int ProbeUsbPrinterNode(const std::string& path);

// Looks in sysfsRoot/class/usbmisc for lpN entries and probes
// deviceRoot/usb/lpN. wanted names one printer, by its node or its USB
// serial number; empty: the first that opens.
UsbLookupResult FindUsbPrinterNode(const std::string& sysfsRoot,
                                   const std::string& deviceRoot,
                                   const std::string& wanted = {});
// The same with the roots and the wanted printer in force now.
UsbLookupResult FindUsbPrinterNode();

}  // namespace rtq
