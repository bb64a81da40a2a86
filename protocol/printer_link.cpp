#include "protocol/printer_link.h"

#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/messages.h"
#include "ports/port_state.h"
#include "protocol/frames.h"

namespace {

// Answer waits and pauses of the link.
constexpr int kSectorWaitSeconds = 30;
constexpr int64_t kChecksumPauseMs = 10000;  // one sleep
constexpr int kChecksumWaitSeconds = 50;
constexpr int kRecalcPauseSleeps = 50;      // of one second each
constexpr int kRecalcWaitSeconds = 80;
constexpr int64_t kRecalcSerialPauseMs = 65000;
constexpr int kShortWaitSeconds = 3;
constexpr int64_t kIdentityPauseMs = 100;
constexpr int kIdentityLength = sizeof(kPrinterIdentity) - 1;
constexpr int kMaxSectorSize = 65536;

bool UsbLink() { return g_bUsbLink.load() == 1; }

bool ValidPrefix(const uint8_t* prefix, int prefixLen) {
    return prefix != nullptr && prefixLen > 0;
}

std::vector<uint8_t> Frame(const uint8_t* prefix, int prefixLen) {
    return std::vector<uint8_t>(prefix, prefix + prefixLen);
}

}  // namespace

CPrinterLink::CPrinterLink() : m_pNotifyWnd(nullptr) {}

CPrinterLink::~CPrinterLink() = default;

void CPrinterLink::SetNotifyWindow(INotifyWindow* wnd) { m_pNotifyWnd = wnd; }

uint16_t CPrinterLink::GetDataCrc() const { return crc.Value(); }

void CPrinterLink::PrepareUsbAnswer(INotifyWindow* wnd, int clearCount) {
    wnd->ResetReceivedUSB();
    std::memset(receivedBuffer, 0, static_cast<size_t>(clearCount));
}

bool CPrinterLink::ListenUsb(INotifyWindow* wnd, int count, int seconds) {
    wnd->SendMessage(WM_START_RECV_USB, static_cast<WPARAM>(count), 0);
    const rtq::SecondsDeadline deadline(seconds);
    bool received = false;
    // Block on the reply event up to the deadline; a wait may end early
    // without the event (a scaled clock), so loop until the deadline has
    // really passed.
    for (;;) {
        if (wnd->WaitReceivedUSB(deadline.RemainingMs())) {
            received = true;
            break;
        }
        if (deadline.Passed()) break;
    }
    wnd->KillReceiveUSBThread();
    return received;
}

bool CPrinterLink::AwaitUsb(INotifyWindow* wnd, int count, int seconds,
                            int clearCount) {
    PrepareUsbAnswer(wnd, clearCount);
    return ListenUsb(wnd, count, seconds);
}

int CPrinterLink::SendRaw(const uint8_t* bytes, int length) {
    if (length < 0 || (bytes == nullptr && length > 0)) return 0;
    const int ok = UsbLink() ? WriteOverlapped(bytes, length) : Write(bytes, length);
    return ok ? 1 : 0;
}

int CPrinterLink::SelectSector(const uint8_t* prefix, int prefixLen, int sector) {
    return SendSectorCommand(prefix, prefixLen, sector);
}

int CPrinterLink::EraseSector(const uint8_t* prefix, int prefixLen, int sector) {
    return SendSectorCommand(prefix, prefixLen, sector);
}

int CPrinterLink::SendSectorCommand(const uint8_t* prefix, int prefixLen,
                                    int sector) {
    // A number that does not fit the one sector byte would address another
    // sector of the flash.
    if (!ValidPrefix(prefix, prefixLen) || sector < 0 || sector > 0xFF) return 0;
    const uint8_t ss = static_cast<uint8_t>(sector);

    if (UsbLink()) {
        INotifyWindow* wnd = m_pNotifyWnd.load();
        if (!wnd) return 0;
        std::vector<uint8_t> frame = Frame(prefix, prefixLen);
        frame.push_back(ss);
        if (!WriteOverlapped(frame.data(), static_cast<int>(frame.size()))) return 0;
        if (!AwaitUsb(wnd, 1, kSectorWaitSeconds, 1)) return 0;
        return receivedBuffer[0] == ACK ? 1 : 0;
    }

    if (!Write(prefix, prefixLen)) return 0;
    if (!Write(&ss, 1)) return 0;
    uint8_t answer = 0;
    if (!ReadByte(&answer)) return 0;
    return answer == ACK ? 1 : 0;
}

int CPrinterLink::SendSectorData(const uint8_t* prefix, int prefixLen,
                                 uint16_t word, int sectorSize, int blockSize,
                                 uint8_t* const blocks[4],
                                 INotifyWindow* progressWnd) {
    // The size travels in 16 bits with 65536 as 0; anything outside one
    // flash sector cannot be described to the printer.
    if (!ValidPrefix(prefix, prefixLen) || sectorSize <= 0 ||
        sectorSize > kMaxSectorSize || blockSize <= 0)
        return 0;
    const bool usb = UsbLink();
    INotifyWindow* wnd = m_pNotifyWnd.load();
    if (usb && !wnd) return 0;

    const int size = sectorSize == kMaxSectorSize ? 0 : sectorSize;
    const uint8_t header[4] = {
        static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8),
        static_cast<uint8_t>(size & 0xFF), static_cast<uint8_t>((size >> 8) & 0xFF)};

    if (usb) {
        std::vector<uint8_t> frame = Frame(prefix, prefixLen);
        frame.insert(frame.end(), header, header + 4);
        if (!WriteOverlapped(frame.data(), static_cast<int>(frame.size()))) return 0;
    } else {
        if (!Write(prefix, prefixLen)) return 0;
        for (const uint8_t& b : header)
            if (!Write(&b, 1)) return 0;
    }

    crc.Reset();
    if (progressWnd) progressWnd->SendMessage(WM_SET_AUTO_STEP, 0, 0);
    for (int k = 0; k < 4 && blocks && blocks[k]; ++k) {
        const uint8_t* block = blocks[k];
        const int ok = usb ? WriteOverlapped(block, blockSize) : Write(block, blockSize);
        if (!ok) return 0;
        crc.Feed(block, static_cast<size_t>(blockSize));
        if (progressWnd)
            progressWnd->SendMessage(WM_SET_PROGRESS_RANGE,
                                     static_cast<WPARAM>(sectorSize),
                                     static_cast<LPARAM>(blockSize) * (k + 1));
    }
    if (progressWnd) progressWnd->SendMessage(WM_SET_AUTO_STEP, 0, 1);

    if (usb) {
        if (!AwaitUsb(wnd, 1, kSectorWaitSeconds, 1)) return 0;
        return receivedBuffer[0] == ACK ? 1 : 0;
    }
    uint8_t answer = 0;
    if (!ReadByte(&answer)) return 0;
    return answer == NAK ? 0 : 1;
}

int CPrinterLink::QueryChecksum(const uint8_t* prefix, int prefixLen,
                                uint16_t* value) {
    return QueryValue(prefix, prefixLen, value, 1, kChecksumPauseMs,
                      kChecksumWaitSeconds, 0);
}

int CPrinterLink::RecalculateCrc(const uint8_t* prefix, int prefixLen,
                                 uint16_t* value) {
    return QueryValue(prefix, prefixLen, value, kRecalcPauseSleeps, 1000,
                      kRecalcWaitSeconds, kRecalcSerialPauseMs);
}

int CPrinterLink::QueryValue(const uint8_t* prefix, int prefixLen,
                             uint16_t* value, int usbPauseSleeps,
                             int64_t usbPauseSleepMs, int usbWaitSeconds,
                             int64_t serialPauseMs) {
    if (!ValidPrefix(prefix, prefixLen)) return 0;
    uint8_t low = 0;
    uint8_t high = 0;

    if (UsbLink()) {
        INotifyWindow* wnd = m_pNotifyWnd.load();
        if (!wnd) return 0;
        if (!WriteOverlapped(prefix, prefixLen)) return 0;
        // The printer needs its time before it answers; the receive thread
        // is only started after the pause.
        PrepareUsbAnswer(wnd, 3);
        for (int i = 0; i < usbPauseSleeps; ++i) rtq::SleepMs(usbPauseSleepMs);
        if (!ListenUsb(wnd, 1, usbWaitSeconds)) return 0;
        if (receivedBuffer[0] != ACK) return 0;
        if (!AwaitUsb(wnd, 2, usbWaitSeconds, 2)) return 0;
        low = receivedBuffer[0];
        high = receivedBuffer[1];
    } else {
        if (!Write(prefix, prefixLen)) return 0;
        if (serialPauseMs > 0) rtq::SleepMs(serialPauseMs);
        uint8_t status = 0;
        if (!ReadByte(&status)) return 0;
        if (status == NAK) return 0;
        if (!ReadByte(&low)) return 0;
        if (!ReadByte(&high)) return 0;
    }

    if (value) *value = static_cast<uint16_t>(high * 256 + low);
    return 1;
}

int CPrinterLink::CheckIdentity(const uint8_t* prefix, int prefixLen) {
    if (!ValidPrefix(prefix, prefixLen)) return 0;
    const bool usb = UsbLink();
    INotifyWindow* wnd = m_pNotifyWnd.load();
    uint8_t status = 0;

    if (usb) {
        if (!wnd) return 0;
        if (!WriteOverlapped(prefix, prefixLen)) return 0;
        if (!AwaitUsb(wnd, 1, kShortWaitSeconds, 2)) return 0;
        status = receivedBuffer[0];
    } else {
        if (!Write(prefix, prefixLen)) return 0;
        rtq::SleepMs(kIdentityPauseMs);
        if (!ReadByte(&status)) return 0;
    }
    if (status != ACK) return 0;

    std::memset(receivedBuffer, 0, sizeof receivedBuffer);
    if (usb) {
        if (!AwaitUsb(wnd, kIdentityLength, kShortWaitSeconds, 0)) return 0;
    } else {
        for (int i = 0; i < kIdentityLength; ++i)
            if (!ReadByte(&receivedBuffer[i])) return 0;
    }

    // The text ends at the first zero byte; the bytes after the 14 read
    // are zero, so the comparison never runs past them.
    const size_t len = strnlen(reinterpret_cast<const char*>(receivedBuffer),
                               sizeof receivedBuffer);
    const bool same = len == static_cast<size_t>(kIdentityLength) &&
                      std::memcmp(receivedBuffer, kPrinterIdentity, len) == 0;
    return same ? 1 : 2;
}

int CPrinterLink::CheckLine(const uint8_t* prefix, int prefixLen) {
    if (!ValidPrefix(prefix, prefixLen)) return 0;

    if (UsbLink()) {
        INotifyWindow* wnd = m_pNotifyWnd.load();
        if (!wnd) return 0;
        if (!WriteOverlapped(prefix, prefixLen)) return 0;
        // The receive thread reports only once both bytes are in.
        if (!AwaitUsb(wnd, 2, kShortWaitSeconds, 2)) return 0;
        return receivedBuffer[0] == ACK ? 1 : 0;
    }

    // Stale bytes from before the command would be taken for its answer.
    PurgeInput();
    if (!Write(prefix, prefixLen)) return 0;
    uint8_t answer = 0;
    if (!ReadByte(&answer)) return 0;
    if (answer != ACK) return 0;
    uint8_t second = 0;
    return ReadByte(&second) ? 1 : 0;
}
