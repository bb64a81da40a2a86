#pragma once
// The USB printers the registry knows: the instances under the
// enumeration keys of the three vendor/product id pairs, with the device
// path each instance's parameters name.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ports/win32/usb_api.h"

namespace rtq {

struct UsbInstance {
    const char* vendorId;
    const char* productId;
    std::string instance;  // the instance name: the printer's serial number
    std::string path;      // \\?\ form
};

// The keys searched, in order.
extern const char* const kUsbDeviceKeys[3];

// Calls visit for every instance with a usable device path, in key order
// and then in enumeration order, until it returns true.
void VisitUsbInstances(win32::UsbApi& api, const std::function<bool(const UsbInstance&)>& visit);

// Whether a GetLastError code says the device is not there (unplugged,
// switched off, or its handle no longer valid).
bool UsbDeviceMissing(uint32_t code);
// Whether a failed open of an instance's device means it is not attached
// (the registry keeps printers that were once attached).
bool UsbInstanceAbsent(uint32_t code);

}  // namespace rtq

namespace rtq {

// An attached printer and whether its device opens.
struct UsbPrinterListing {
    UsbInstance printer;
    uint32_t openError = 0;  // GetLastError of the failed open; 0 when it opened
};

// The printers whose device is there, in search order.
std::vector<UsbPrinterListing> AttachedUsbPrinters(win32::UsbApi& api = win32::SystemUsbApi());

}  // namespace rtq
