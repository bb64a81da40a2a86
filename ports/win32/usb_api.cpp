#include "ports/win32/usb_api.h"

#include <windows.h>

#include <cstddef>

namespace rtq::win32 {

static_assert(kErrorNotReady == ERROR_NOT_READY);
static_assert(kErrorGenFailure == ERROR_GEN_FAILURE);
static_assert(kErrorInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(kErrorDevNotExist == ERROR_DEV_NOT_EXIST);
static_assert(kErrorMoreData == ERROR_MORE_DATA);
static_assert(kErrorNoMoreItems == ERROR_NO_MORE_ITEMS);
static_assert(kErrorOperationAborted == ERROR_OPERATION_ABORTED);
static_assert(kErrorIoIncomplete == ERROR_IO_INCOMPLETE);
static_assert(kErrorIoPending == ERROR_IO_PENDING);
static_assert(kErrorDeviceNotConnected == ERROR_DEVICE_NOT_CONNECTED);

// The record is handed to the system as its own.
static_assert(sizeof(OverlappedIo) == sizeof(OVERLAPPED));
static_assert(offsetof(OverlappedIo, Internal) == offsetof(OVERLAPPED, Internal));
static_assert(offsetof(OverlappedIo, InternalHigh) == offsetof(OVERLAPPED, InternalHigh));
static_assert(offsetof(OverlappedIo, Offset) == offsetof(OVERLAPPED, Offset));
static_assert(offsetof(OverlappedIo, OffsetHigh) == offsetof(OVERLAPPED, OffsetHigh));
static_assert(offsetof(OverlappedIo, hEvent) == offsetof(OVERLAPPED, hEvent));

namespace {
OVERLAPPED* Sys(OverlappedIo* ov) { return reinterpret_cast<OVERLAPPED*>(ov); }
HKEY Key(SysHandle k) { return static_cast<HKEY>(k); }
}  // namespace

SysHandle UsbApi::RegOpen(const std::string& path, uint32_t* error) {
    HKEY key = nullptr;
    const LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key);
    *error = static_cast<uint32_t>(rc);
    return rc == ERROR_SUCCESS ? key : nullptr;
}

uint32_t UsbApi::RegEnumSubKey(SysHandle key, uint32_t index, std::string* name) {
    char buf[256];
    DWORD len = sizeof buf;
    const LONG rc =
        RegEnumKeyExA(Key(key), index, buf, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) name->assign(buf, len);
    return static_cast<uint32_t>(rc);
}

uint32_t UsbApi::RegQueryString(SysHandle key, const char* value, uint32_t capacity,
                               std::string* out) {
    std::string buf(capacity, '\0');
    DWORD len = capacity;
    const LONG rc = RegQueryValueExA(Key(key), value, nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(buf.data()), &len);
    if (rc == ERROR_SUCCESS) out->assign(buf.data(), len);
    return static_cast<uint32_t>(rc);
}

void UsbApi::RegClose(SysHandle key) { RegCloseKey(Key(key)); }

SysHandle UsbApi::Probe(const char* path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

SysHandle UsbApi::OpenOverlapped(const char* path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

bool UsbApi::Control(SysHandle h, uint32_t code, void* out, uint32_t outLen,
                     uint32_t* returned) {
    DWORD n = 0;
    const BOOL ok = DeviceIoControl(h, code, nullptr, 0, out, outLen, &n, nullptr);
    *returned = n;
    return ok != 0;
}

SysHandle UsbApi::NewEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

WaitResult UsbApi::Wait(SysHandle event, uint32_t timeoutMs) {
    switch (WaitForSingleObject(event, timeoutMs)) {
        case WAIT_OBJECT_0:
            return WaitResult::Signaled;
        case WAIT_TIMEOUT:
            return WaitResult::TimedOut;
        default:
            return WaitResult::Failed;
    }
}

bool UsbApi::WriteFile(SysHandle h, const void* data, uint32_t len, OverlappedIo* ov) {
    return ::WriteFile(h, data, len, nullptr, Sys(ov)) != 0;
}

bool UsbApi::ReadFile(SysHandle h, void* buf, uint32_t len, OverlappedIo* ov) {
    return ::ReadFile(h, buf, len, nullptr, Sys(ov)) != 0;
}

bool UsbApi::GetOverlappedResult(SysHandle h, OverlappedIo* ov, uint32_t* count, bool wait) {
    DWORD n = 0;
    const BOOL ok = ::GetOverlappedResult(h, Sys(ov), &n, wait ? TRUE : FALSE);
    *count = n;
    return ok != 0;
}

bool UsbApi::CancelIo(SysHandle h, OverlappedIo* ov) { return CancelIoEx(h, Sys(ov)) != 0; }

bool UsbApi::Close(SysHandle h) { return CloseHandle(h) != 0; }

uint32_t UsbApi::LastError() { return GetLastError(); }

UsbApi& SystemUsbApi() {
    static UsbApi api;
    return api;
}

}  // namespace rtq::win32
