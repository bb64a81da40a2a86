#pragma once
// The Windows calls beneath the Windows serial backend, behind one object
// so that tests can make any of them fail with the error they choose.
// Kept free of <windows.h>, whose macros clash with the core's own
// Windows-shaped names: handles are void*, the DCB is a plain record.

#include <cstddef>
#include <cstdint>

namespace rtq::win32 {

using SysHandle = void*;
// INVALID_HANDLE_VALUE.
inline SysHandle InvalidSysHandle() { return reinterpret_cast<SysHandle>(intptr_t{-1}); }

// GetLastError codes the backend treats apart.
constexpr uint32_t kErrorAccessDenied = 5;   // ERROR_ACCESS_DENIED
constexpr uint32_t kErrorInvalidHandle = 6;  // ERROR_INVALID_HANDLE
constexpr uint32_t kErrorNotSupported = 50;  // ERROR_NOT_SUPPORTED

// The DCB fields the port sets, by their Windows names.
struct CommDcb {
    uint32_t BaudRate = 0;
    uint32_t fBinary = 0, fParity = 0, fOutxCtsFlow = 0, fOutxDsrFlow = 0;
    uint32_t fDtrControl = 0, fDsrSensitivity = 0, fTXContinueOnXoff = 0;
    uint32_t fOutX = 0, fInX = 0, fErrorChar = 0, fNull = 0;
    uint32_t fRtsControl = 0, fAbortOnError = 0;
    uint8_t ByteSize = 0, Parity = 0, StopBits = 0;
};

struct CommTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

class SerialApi {
public:
    virtual ~SerialApi() = default;

    // CreateFileA(path, read and write, no sharing, OPEN_EXISTING, normal).
    virtual SysHandle Open(const char* path);
    virtual bool GetState(SysHandle h, CommDcb* dcb);
    virtual bool SetState(SysHandle h, const CommDcb& dcb);
    virtual bool GetTimeouts(SysHandle h, CommTimeouts* t);
    virtual bool SetTimeouts(SysHandle h, const CommTimeouts& t);
    // PurgeComm(PURGE_RXCLEAR).
    virtual bool PurgeInput(SysHandle h);
    // ReadFile / WriteFile, synchronous.
    virtual bool Read(SysHandle h, void* buf, uint32_t len, uint32_t* got);
    virtual bool Write(SysHandle h, const void* data, uint32_t len, uint32_t* written);
    // GetCommModemStatus: whether MS_DSR_ON is set.
    virtual bool DsrOn(SysHandle h, bool* on);
    virtual bool Close(SysHandle h);
    // GetLastError of the thread's last failed call.
    virtual uint32_t LastError();
};

// The real calls.
SerialApi& SystemSerialApi();

}  // namespace rtq::win32
