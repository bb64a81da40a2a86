#include "ports/comm_port.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "ports/port_state.h"
#include "ports/serial_backend.h"
#include "ports/usb_backend.h"

namespace {

// Every write call is followed by this pause, the last one included: the
// printer needs it between pieces of a command.
constexpr int64_t kWritePauseMs = 100;
// A silent line is given up after this many whole seconds.
constexpr int kReadDeadlineSeconds = 10;
// A printer that holds DSR low this long without taking a byte is taken for
// stuck: past the point where Cancel is offered nothing else would end the
// run.
constexpr int64_t kStalledWriteMs = 30000;
constexpr int kUsbChunkBytes = 4096;
constexpr int64_t kUsbReconnectPauseMs = 1000;
// Reconnection attempts for one chunk, about a second apart: a printer
// that is gone for good, or reopens but refuses the same chunk again and
// again, would otherwise keep the run hanging with no way out.
constexpr int kMaxUsbReconnectsPerChunk = 10;

uint8_t ParityFromText(const std::string& parity) {
    if (parity.empty()) return NOPARITY;
    switch (std::toupper(static_cast<unsigned char>(parity[0]))) {
        case 'E': return EVENPARITY;
        case 'O': return ODDPARITY;
        case 'M': return MARKPARITY;
        case 'S': return SPACEPARITY;
        default: return NOPARITY;
    }
}

bool UsbLinkSelected() { return g_bUsbLink.load() != 0; }

}  // namespace

CCommPort::CCommPort() : handle(INVALID_HANDLE_VALUE), timeouts(), dcb() {
    dcb.DCBlength = 28;
}

HANDLE CCommPort::GetHandle() {
    return UsbLinkSelected() ? g_hUsbDevice.load() : handle;
}

int CCommPort::SetReadTimeout(uint32_t ms) {
    rtq::ISerialBackend& backend = rtq::SerialBackend();
    backend.GetTimeouts(handle, &timeouts);  // a failure keeps the old copy
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = ms;
    timeouts.WriteTotalTimeoutMultiplier = 250;
    timeouts.WriteTotalTimeoutConstant = 3000;
    return backend.SetTimeouts(handle, timeouts) ? 1 : 0;
}

int CCommPort::SetWriteTimeout(uint32_t ms) {
    rtq::ISerialBackend& backend = rtq::SerialBackend();
    backend.GetTimeouts(handle, &timeouts);
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = 10000;
    timeouts.WriteTotalTimeoutMultiplier = 250;
    timeouts.WriteTotalTimeoutConstant = ms;
    return backend.SetTimeouts(handle, timeouts) ? 1 : 0;
}

int CCommPort::Write(const uint8_t* data, int length) {
    // A negative length or missing bytes cannot be written safely.
    if (length < 0 || (length > 0 && data == nullptr)) return 0;
    rtq::ISerialBackend& backend = rtq::SerialBackend();
    int offset = 0;
    int remaining = length;
    int64_t lastProgressMs = rtq::SteadyMs();
    do {
        size_t written = 0;
        bool ok;
        {
            std::lock_guard<std::mutex> lk(g_portMutex);
            ok = backend.Write(handle, data + offset,
                               static_cast<size_t>(remaining), &written);
        }
        if (!ok) return 0;
        // The bytes of this call are already out; the rest is dropped.
        if (g_bCancelled.load()) return 0;
        if (written > 0) {
            lastProgressMs = rtq::SteadyMs();
        } else if (rtq::SteadyMs() - lastProgressMs >= kStalledWriteMs) {
            rtq::SetLastErrorText("the printer held its DSR line low for 30 s and took no data");
            return 0;
        }
        written = std::min(written, static_cast<size_t>(remaining));
        offset += static_cast<int>(written);
        remaining -= static_cast<int>(written);
        rtq::SleepMs(kWritePauseMs);
    } while (remaining > 0);
    return 1;
}

int CCommPort::ReadByte(uint8_t* out) {
    if (out == nullptr) return 0;
    rtq::ISerialBackend& backend = rtq::SerialBackend();
    const rtq::SecondsDeadline deadline(kReadDeadlineSeconds);
    for (;;) {
        size_t got = 0;
        bool ok;
        {
            std::lock_guard<std::mutex> lk(g_portMutex);
            ok = backend.Read(handle, out, 1, &got);
        }
        if (!ok) return 0;
        if (got == 1) return 1;
        // Tested only after an empty read: a long read constant is waited
        // out in full even when it ends past the deadline.
        if (deadline.Passed()) return 0;
    }
}

int CCommPort::PurgeInput() {
    return rtq::SerialBackend().PurgeInput(handle) ? 1 : 0;
}

void CCommPort::Close() {
    // The stored handle values stay; backends never issue a token twice,
    // so a later close of a stale value does nothing.
    if (UsbLinkSelected()) {
        const HANDLE usb = g_hUsbDevice.load();
        if (usb != INVALID_HANDLE_VALUE) rtq::UsbBackend().Close(usb);
    } else if (handle != INVALID_HANDLE_VALUE) {
        rtq::SerialBackend().Close(handle);
    }
}

int CCommPort::Configure(uint32_t baud, const std::string& parity,
                         uint8_t dataBits, int stopBits) {
    rtq::ISerialBackend& backend = rtq::SerialBackend();
    dcb.DCBlength = 28;
    backend.GetState(handle, &dcb);  // a failure keeps the last settings
    dcb.DCBlength = 28;
    dcb.Parity = ParityFromText(parity);
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = 0;
    dcb.ByteSize = dataBits;
    if (stopBits == 1)
        dcb.StopBits = ONESTOPBIT;
    else if (stopBits == 2)
        dcb.StopBits = TWOSTOPBITS;
    if (handle == INVALID_HANDLE_VALUE) return 0;
    return backend.SetState(handle, dcb) ? 1 : 0;
}

int CCommPort::Reserve(const std::string& name) {
    Unreserve();
    if (!rtq::SerialBackend().Reserve(name)) return 0;
    m_strReserved = name;
    m_bReserved = true;
    return 1;
}

void CCommPort::Unreserve() {
    if (!m_bReserved) return;
    m_bReserved = false;
    rtq::SerialBackend().Unreserve(m_strReserved);
}

int CCommPort::Open(const std::string& name) {
    handle = rtq::SerialBackend().Open(name);
    return handle != INVALID_HANDLE_VALUE ? 1 : 0;
}

int CCommPort::WriteOverlapped(const uint8_t* data, int length) {
    if (length < 0 || (length > 0 && data == nullptr)) return 0;
    rtq::IUsbBackend& backend = rtq::UsbBackend();
    int offset = 0;
    int remaining = length;
    int reconnects = 0;
    for (;;) {
        const int chunk = std::min(remaining, kUsbChunkBytes);
        size_t count = 0;
        rtq::UsbWriteStatus status;
        {
            std::lock_guard<std::mutex> lk(g_portMutex);
            status = backend.Write(g_hUsbDevice.load(), data + offset,
                                   static_cast<size_t>(chunk), &count);
        }
        if (status == rtq::UsbWriteStatus::Ok) {
            // A chunk that moved nothing would be retried for ever.
            if (chunk > 0 && count == 0) return 0;
            count = std::min(count, static_cast<size_t>(chunk));
            offset += static_cast<int>(count);
            remaining -= static_cast<int>(count);
            reconnects = 0;
            if (remaining <= 0) return 1;
            continue;
        }
        if (status != rtq::UsbWriteStatus::InvalidHandle) return 0;
        // Unplugged: reopen and send the chunk again. The write fails as
        // the printer goes, not once it is back (a restarting printer is
        // away for seconds), so a reconnection that finds no printer is
        // tried again a second later, within the same bound.
        INotifyWindow* wnd = g_pMainDlg.load();
        if (wnd == nullptr) return 0;
        for (;;) {
            if (++reconnects > kMaxUsbReconnectsPerChunk) return 0;
            if (wnd->ReconnectUsb()) break;
            if (reconnects == kMaxUsbReconnectsPerChunk) return 0;
            rtq::SleepMs(kUsbReconnectPauseMs);
        }
        rtq::SleepMs(kUsbReconnectPauseMs);
    }
}

CCommPort::~CCommPort() = default;

void CCommPort::WaitSeconds(int n) {
    rtq::SecondsDeadline(n).SleepUntilPassed();
}
