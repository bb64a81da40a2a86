#pragma once
// The Windows calls beneath the Windows USB printer backend (registry,
// device, events, overlapped I/O), behind one object so that tests can
// make any of them fail with the error they choose. Free of <windows.h>
// like SerialApi: handles are void*, the overlapped record is a plain
// record laid out as the system's.

#include <cstddef>
#include <cstdint>
#include <string>

#include "ports/win32/serial_api.h"

namespace rtq::win32 {

// GetLastError and registry codes the backend treats apart.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorNotReady = 21;              // ERROR_NOT_READY
constexpr uint32_t kErrorGenFailure = 31;            // ERROR_GEN_FAILURE
constexpr uint32_t kErrorInvalidParameter = 87;      // ERROR_INVALID_PARAMETER
constexpr uint32_t kErrorDevNotExist = 55;           // ERROR_DEV_NOT_EXIST
constexpr uint32_t kErrorMoreData = 234;             // ERROR_MORE_DATA
constexpr uint32_t kErrorNoMoreItems = 259;          // ERROR_NO_MORE_ITEMS
constexpr uint32_t kErrorNoSuchDevice = 433;         // ERROR_NO_SUCH_DEVICE
constexpr uint32_t kErrorOperationAborted = 995;     // ERROR_OPERATION_ABORTED
constexpr uint32_t kErrorIoIncomplete = 996;         // ERROR_IO_INCOMPLETE
constexpr uint32_t kErrorIoPending = 997;            // ERROR_IO_PENDING
constexpr uint32_t kErrorDeviceNotConnected = 1167;  // ERROR_DEVICE_NOT_CONNECTED

// The printer-class control requests.
constexpr uint32_t kIoctlUsbPrintGet1284Id = 0x220034;
constexpr uint32_t kIoctlUsbPrintGetLptStatus = 0x220030;

// OVERLAPPED, field for field.
struct OverlappedIo {
    uintptr_t Internal = 0;
    uintptr_t InternalHigh = 0;
    uint32_t Offset = 0;
    uint32_t OffsetHigh = 0;
    SysHandle hEvent = nullptr;
};

enum class WaitResult { Signaled, TimedOut, Failed };

class UsbApi {
public:
    virtual ~UsbApi() = default;

    // RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, KEY_READ); nullptr with the
    // code in *error on failure.
    virtual SysHandle RegOpen(const std::string& path, uint32_t* error);
    // RegEnumKeyExA at index with a 256-byte name; the system's code.
    virtual uint32_t RegEnumSubKey(SysHandle key, uint32_t index, std::string* name);
    // RegQueryValueExA into a buffer of capacity bytes; *out holds the
    // bytes returned. The system's code.
    virtual uint32_t RegQueryString(SysHandle key, const char* value, uint32_t capacity,
                                   std::string* out);
    virtual void RegClose(SysHandle key);

    // CreateFileA(path, read and write, OPEN_EXISTING): the probe shares
    // reading only and is synchronous; the device handle shares reading
    // and writing and is overlapped.
    virtual SysHandle Probe(const char* path);
    virtual SysHandle OpenOverlapped(const char* path);
    // DeviceIoControl without input or overlapped record.
    virtual bool Control(SysHandle h, uint32_t code, void* out, uint32_t outLen,
                         uint32_t* returned);

    // CreateEventA: unnamed, manual reset, not set.
    virtual SysHandle NewEvent();
    virtual WaitResult Wait(SysHandle event, uint32_t timeoutMs);
    virtual bool WriteFile(SysHandle h, const void* data, uint32_t len, OverlappedIo* ov);
    virtual bool ReadFile(SysHandle h, void* buf, uint32_t len, OverlappedIo* ov);
    virtual bool GetOverlappedResult(SysHandle h, OverlappedIo* ov, uint32_t* count,
                                     bool wait);
    // CancelIoEx of one request.
    virtual bool CancelIo(SysHandle h, OverlappedIo* ov);
    virtual bool Close(SysHandle h);
    // GetLastError of the thread's last failed call.
    virtual uint32_t LastError();
};

// The real calls.
UsbApi& SystemUsbApi();

}  // namespace rtq::win32
