#pragma once
// Command frames of the printer's flash-download protocol (prefix bytes).

#include <cstdint>

constexpr uint8_t ACK = 0x06;
constexpr uint8_t NAK = 0x15;

constexpr uint8_t kCmdSwitchToDownload[] = {0x1D, 0x5B, 0x7D};
constexpr uint8_t kCmdIdentity[] = {0x1D, 0x00};
constexpr uint8_t kCmdCheckLine[] = {0x1D, 0x01};
constexpr uint8_t kCmdSelectSector[] = {0x1D, 0x02};
constexpr uint8_t kCmdEraseSector[] = {0x1D, 0x10};
constexpr uint8_t kCmdQueryChecksum[] = {0x1D, 0x06};
constexpr uint8_t kCmdDownloadData[] = {0x1D, 0x11};
constexpr uint8_t kCmdRecalculateCrc[] = {0x1D, 0x0F};
constexpr uint8_t kCmdReset[] = {0x1D, 0xFF};
constexpr uint8_t kCmdPinCode[] = {0x1D, 0x1D, 0x50};
constexpr uint8_t kCmdFriendlyName[] = {0x1D, 0x1D, 0x51, 0x46};

constexpr char kPrinterIdentity[] = "Mobile Printer";  // 14 bytes on the wire
