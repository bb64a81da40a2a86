#pragma once
// What a service bench has attached: the serial ports whose device exists
// (with the USB adapter behind each, if any) and the USB printers of the
// printer's id pairs, each with whether this user may open it.

#include <optional>
#include <string>
#include <vector>

namespace rtq {

// A USB device as sysfs describes it; the texts are empty where the
// device reports none.
struct UsbDeviceInfo {
    std::string sysfsPath;  // the device's folder, e.g. /sys/devices/.../1-2
    std::string vendorId;   // four hex digits as sysfs has them
    std::string productId;
    std::string manufacturer;
    std::string product;
    std::string serial;
};

struct SerialPortEntry {
    int number = 0;  // n of COMn
    std::string comName;
    std::string devicePath;
    std::optional<UsbDeviceInfo> usb;  // the USB-serial adapter, if it is one
    int accessError = 0;               // errno of the access test; 0: may open
};

struct UsbPrinterEntry {
    std::string node;
    UsbDeviceInfo device;
    int openError = 0;  // errno of the test open; 0: it opened
};

// COM1 to COM64 whose device exists under the device folder in force. The
// test is access(2) for reading and writing with the effective ids: an
// open could disturb the port (a close drops DTR, an rfcomm open dials
// the printer) and cannot see a port in use without taking it.
std::vector<SerialPortEntry> ListSerialPorts(const std::string& sysfsRoot);

// The nodes FindUsbPrinterNode would try, in its order, each opened and
// closed at once: a node in use answers EBUSY and is not disturbed.
std::vector<UsbPrinterEntry> ListUsbPrinters(const std::string& sysfsRoot,
                                             const std::string& deviceRoot);

}  // namespace rtq
