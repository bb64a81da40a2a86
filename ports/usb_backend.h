#pragma once
// The operating-system calls beneath the USB printer link: device lookup,
// open, the two printer-class requests, writes, and reads that can be
// abandoned quickly so that at most one read is ever outstanding.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/types.h"

namespace rtq {

enum class UsbWriteStatus { Ok, InvalidHandle, Error };

class IUsbBackend {
public:
    virtual ~IUsbBackend() = default;

    // The device path of the first openable printer of the three known
    // vendor/product id pairs, in table order; false when there is none.
    virtual bool FindDevicePath(std::string* path) = 0;
    virtual HANDLE Open(const std::string& path) = 0;
    // IEEE 1284 device-id request; the id itself is not examined.
    virtual bool GetDeviceId(HANDLE h) = 0;
    // Port-status request; the status byte is not examined.
    virtual bool GetPortStatus(HANDLE h) = 0;
    // Writes one chunk completely (waiting for it); InvalidHandle when the
    // printer was unplugged.
    virtual UsbWriteStatus Write(HANDLE h, const uint8_t* data, size_t len,
                                 size_t* written) = 0;
    // Waits up to timeoutMs for input (or an error) to be waiting; does
    // not read. Called without the port mutex held.
    virtual bool WaitReadable(HANDLE h, int64_t timeoutMs) = 0;
    // Reads what is waiting, at most len bytes, without blocking; *got may
    // be 0. False on an error.
    virtual bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) = 0;
    virtual void Close(HANDLE h) = 0;
};

// The process-wide USB backend: the system's own unless a test installed
// another.
IUsbBackend& UsbBackend();
void SetUsbBackend(IUsbBackend* backend);  // nullptr: the system's own
// Installs next only while expected is the installed one (the system's own
// counts as installed when none is); true if it was. For decorators, which
// must not undo a change somebody else made meanwhile.
bool ReplaceUsbBackend(IUsbBackend* expected, IUsbBackend* next);

// The printer FindDevicePath is to find, by its node or USB serial number;
// empty: the first that opens. Process-wide so that a reconnection after
// an unplug finds the same printer.
void SetWantedUsbPrinter(const std::string& wanted);
std::string WantedUsbPrinter();

}  // namespace rtq
