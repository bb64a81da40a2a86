#include "ports/win32/serial_api.h"

#include <windows.h>

namespace rtq::win32 {

static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kErrorInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(kErrorNotSupported == ERROR_NOT_SUPPORTED);

SysHandle SerialApi::Open(const char* path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool SerialApi::GetState(SysHandle h, CommDcb* out) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) return false;
    out->BaudRate = dcb.BaudRate;
    out->fBinary = dcb.fBinary;
    out->fParity = dcb.fParity;
    out->fOutxCtsFlow = dcb.fOutxCtsFlow;
    out->fOutxDsrFlow = dcb.fOutxDsrFlow;
    out->fDtrControl = dcb.fDtrControl;
    out->fDsrSensitivity = dcb.fDsrSensitivity;
    out->fTXContinueOnXoff = dcb.fTXContinueOnXoff;
    out->fOutX = dcb.fOutX;
    out->fInX = dcb.fInX;
    out->fErrorChar = dcb.fErrorChar;
    out->fNull = dcb.fNull;
    out->fRtsControl = dcb.fRtsControl;
    out->fAbortOnError = dcb.fAbortOnError;
    out->ByteSize = dcb.ByteSize;
    out->Parity = dcb.Parity;
    out->StopBits = dcb.StopBits;
    return true;
}

bool SerialApi::SetState(SysHandle h, const CommDcb& in) {
    // The fields not set here (XON/XOFF limits and characters) keep what
    // the port has.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    (void)GetCommState(h, &dcb);
    dcb.BaudRate = in.BaudRate;
    dcb.fBinary = in.fBinary;
    dcb.fParity = in.fParity;
    dcb.fOutxCtsFlow = in.fOutxCtsFlow;
    dcb.fOutxDsrFlow = in.fOutxDsrFlow;
    dcb.fDtrControl = in.fDtrControl;
    dcb.fDsrSensitivity = in.fDsrSensitivity;
    dcb.fTXContinueOnXoff = in.fTXContinueOnXoff;
    dcb.fOutX = in.fOutX;
    dcb.fInX = in.fInX;
    dcb.fErrorChar = in.fErrorChar;
    dcb.fNull = in.fNull;
    dcb.fRtsControl = in.fRtsControl;
    dcb.fAbortOnError = in.fAbortOnError;
    dcb.ByteSize = in.ByteSize;
    dcb.Parity = in.Parity;
    dcb.StopBits = in.StopBits;
    return SetCommState(h, &dcb) != 0;
}

bool SerialApi::GetTimeouts(SysHandle h, CommTimeouts* out) {
    COMMTIMEOUTS t{};
    if (!GetCommTimeouts(h, &t)) return false;
    *out = CommTimeouts{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                        t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                        t.WriteTotalTimeoutConstant};
    return true;
}

bool SerialApi::SetTimeouts(SysHandle h, const CommTimeouts& in) {
    COMMTIMEOUTS t{in.ReadIntervalTimeout, in.ReadTotalTimeoutMultiplier,
                   in.ReadTotalTimeoutConstant, in.WriteTotalTimeoutMultiplier,
                   in.WriteTotalTimeoutConstant};
    return SetCommTimeouts(h, &t) != 0;
}

bool SerialApi::PurgeInput(SysHandle h) { return PurgeComm(h, PURGE_RXCLEAR) != 0; }

bool SerialApi::Read(SysHandle h, void* buf, uint32_t len, uint32_t* got) {
    DWORD n = 0;
    const BOOL ok = ReadFile(h, buf, len, &n, nullptr);
    *got = n;
    return ok != 0;
}

bool SerialApi::Write(SysHandle h, const void* data, uint32_t len, uint32_t* written) {
    DWORD n = 0;
    const BOOL ok = WriteFile(h, data, len, &n, nullptr);
    *written = n;
    return ok != 0;
}

bool SerialApi::DsrOn(SysHandle h, bool* on) {
    DWORD status = 0;
    if (!GetCommModemStatus(h, &status)) return false;
    *on = (status & MS_DSR_ON) != 0;
    return true;
}

bool SerialApi::Close(SysHandle h) { return CloseHandle(h) != 0; }

uint32_t SerialApi::LastError() { return GetLastError(); }

SerialApi& SystemSerialApi() {
    static SerialApi api;
    return api;
}

}  // namespace rtq::win32
