#pragma once
// The printer's flash-download command set over the port: one operation
// per command, each sending its frame and judging the answer. The link
// never repeats a command; the download procedures own every retry.
// Serial or USB is chosen at each call from g_bUsbLink.

#include <atomic>
#include <cstdint>

#include "platform/notify_window.h"
#include "ports/comm_port.h"
#include "protocol/data_crc.h"

class CPrinterLink : public CCommPort {
public:
    CPrinterLink();
    ~CPrinterLink() override;

    // Must be called before the first USB command of a download; without
    // it every USB command that awaits an answer fails with 0.
    void SetNotifyWindow(INotifyWindow* wnd);

    // Writes the bytes; no answer is awaited. 1 if every byte went out.
    int SendRaw(const uint8_t* bytes, int length);
    // 1 on ACK, else 0. The sector number is one byte on the wire (0..255).
    int SelectSector(const uint8_t* prefix, int prefixLen, int sector);
    int EraseSector(const uint8_t* prefix, int prefixLen, int sector);
    // 1 with the printer's 16-bit value, else 0 (value left unchanged).
    int QueryChecksum(const uint8_t* prefix, int prefixLen, uint16_t* value);
    int RecalculateCrc(const uint8_t* prefix, int prefixLen, uint16_t* value);
    // Sends the blocks in order until the first null pointer or the fourth;
    // progress goes to progressWnd (may be null). 1 on acceptance, else 0.
    int SendSectorData(const uint8_t* prefix, int prefixLen, uint16_t word,
                       int sectorSize, int blockSize,
                       uint8_t* const blocks[4], INotifyWindow* progressWnd);
    // 1 identified, 2 answered with another text, 0 no valid answer.
    int CheckIdentity(const uint8_t* prefix, int prefixLen);
    // 1 on ACK plus one byte, else 0.
    int CheckLine(const uint8_t* prefix, int prefixLen);
    // CRC-16/ARC of the data sent by the last SendSectorData.
    uint16_t GetDataCrc() const;

private:
    // Shared by SelectSector and EraseSector.
    int SendSectorCommand(const uint8_t* prefix, int prefixLen, int sector);
    // Shared by QueryChecksum and RecalculateCrc: over USB the pause is
    // usbPauseSleeps sleeps of usbPauseSleepMs before listening.
    int QueryValue(const uint8_t* prefix, int prefixLen, uint16_t* value,
                   int usbPauseSleeps, int64_t usbPauseSleepMs,
                   int usbWaitSeconds, int64_t serialPauseMs);

    // USB answer path: clear the reply event and the bytes [0, clearCount)
    // of receivedBuffer, then have the main dialog collect count bytes
    // within a whole-second deadline.
    void PrepareUsbAnswer(INotifyWindow* wnd, int clearCount);
    bool ListenUsb(INotifyWindow* wnd, int count, int seconds);
    bool AwaitUsb(INotifyWindow* wnd, int count, int seconds, int clearCount);

    CDataCrc crc;
    std::atomic<INotifyWindow*> m_pNotifyWnd;
};
