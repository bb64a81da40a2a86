#pragma once
// The flash sector-size table: entry 0 holds the sector count (70), entries
// 1 to 70 the sizes of sectors 1 to 70, then a closing 0.

#include <cstdint>

constexpr int kSectorCount = 70;
extern const int32_t g_aSectorSizes[kSectorCount + 2];

// Block size of a sector: 16384 for sectors of 16384 bytes or more, else 8192.
int32_t BlockSizeForSector(int32_t sectorSize);
