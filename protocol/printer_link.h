#pragma once
// The printer's flash-download command set over the port: one operation
// per command, each sending its frame and judging the answer. The link
// never repeats a command; the download procedures own every retry.

#include <cstdint>

#include "platform/notify_window.h"
#include "ports/comm_port.h"
#include "protocol/data_crc.h"

class CPrinterLink : public CCommPort {
public:
    CPrinterLink();
    ~CPrinterLink() override;

    // Must be called before the first USB command of a download.
    void SetNotifyWindow(INotifyWindow* wnd);

    // Writes the bytes; no answer is awaited. 1 if every byte went out.
    int SendRaw(const uint8_t* bytes, int length);
    // 1 on ACK, else 0.
    int SelectSector(const uint8_t* prefix, int prefixLen, int sector);
    int EraseSector(const uint8_t* prefix, int prefixLen, int sector);
    // 1 with the printer's 16-bit value, else 0.
    int QueryChecksum(const uint8_t* prefix, int prefixLen, uint16_t* value);
    int RecalculateCrc(const uint8_t* prefix, int prefixLen, uint16_t* value);
    // Sends the blocks in order until the first null pointer or the fourth;
    // progress goes to progressWnd. 1 on acceptance, else 0.
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
    CDataCrc crc;
    INotifyWindow* m_pNotifyWnd;
};
