#pragma once
// How a data file maps onto the printer's flash: file kinds, extensions,
// first sectors, the identification tags and the length rules. The files
// carry no header: the only structure is position.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/model_table.h"

// IPL files: the first 0x8000 bytes (the range of sectors 1 to 3) are never
// sent; sector 4 starts at file offset 0x8000 and sector 5 at 0x10000.
constexpr int64_t kIplSkippedBytes = 0x8000;
constexpr int64_t kIplSector5Offset = 0x10000;
constexpr int64_t kIplFileLength = 0x20000;
constexpr int32_t kIplFirstSector = 4;
constexpr int32_t kIplSecondSector = 5;

// "MFW", "IPL" or "BIN"; nullptr for kinds that need no file.
const char* RequiredExtension(DownloadKind kind);
// 6, 4 or 20; 0 for kinds that need no file.
int32_t FirstSectorForKind(DownloadKind kind);
// Whether a kind writes a data file (not a PIN code or friendly name).
bool IsFileKind(DownloadKind kind);

// Flash address of a sector (numbered from 1) in a sector-size table.
int64_t SectorAddress(int32_t sector, const int32_t* pSectorSizes);

// One identification tag: four characters at a fixed file offset. The
// table ends with a row whose tag is empty. Rows of kind Font stand for
// every file download that is neither main firmware nor IPL.
struct FileTag {
    DownloadKind kind;
    int64_t offset;
    const char* tag;
};
extern const FileTag kFileTags[];

// The tag rows a kind is checked against: its own for main firmware and
// IPL, the Font rows for every other file kind.
DownloadKind TagKindFor(DownloadKind kind);

// 1 when every tag row of the kind matches, 1042 on a mismatch (a file
// too short to hold a tag included), 1007 when the file cannot be opened.
int CheckFileIdentity(const std::string& path, DownloadKind kind);

// Bytes of a file that are written: the whole file, or for IPL the file
// less its first 0x8000 bytes (0 when it has no more).
int64_t DataLength(int64_t fileLength, bool bIpl);

// The sector plan of a data length: sectors from firstSector on, one per
// started sector, in ascending flash order. Never runs past the table's
// last sector; empty for a length of 0 or less.
std::vector<int32_t> BuildSectorPlan(int64_t dataLength, int32_t firstSector,
                                     const int32_t* pSectorSizes);

// The length rules: the data must fill the sectors of its plan exactly and
// fit within the flash; an IPL file must be exactly 131072 bytes and start
// at sector 4. 1 or 1020. The plan is stored when it is wanted.
int CheckDataLength(int64_t fileLength, int32_t firstSector, bool bIpl,
                    const int32_t* pSectorSizes,
                    std::vector<int32_t>* plan = nullptr);

// Length of a file; -1 when it cannot be opened.
int64_t FileLength(const std::string& path);

// The length rules on a file: 1, 1007 (cannot be opened) or 1020.
int CheckDataFileLength(const std::string& path, int32_t firstSector,
                        bool bIpl, const int32_t* pSectorSizes,
                        std::vector<int32_t>* plan = nullptr);
