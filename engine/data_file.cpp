#include "engine/data_file.h"

#include <cstring>

#include "engine/binary_file.h"
#include "engine/result_codes.h"

const FileTag kFileTags[] = {
    {DownloadKind::MainFirmware, 0x4F0, "MAIN"},
    {DownloadKind::MainFirmware, 0x4F4, "MB01"},
    {DownloadKind::IplFirmware, 0x106F0, "IPL@"},
    {DownloadKind::IplFirmware, 0x106F4, "MB01"},
    {DownloadKind::Font, 0x0, "MB01"},
    {DownloadKind::None, 0, ""},
};

const char* RequiredExtension(DownloadKind kind) {
    switch (kind) {
        case DownloadKind::MainFirmware: return "MFW";
        case DownloadKind::IplFirmware: return "IPL";
        case DownloadKind::Font: return "BIN";
        default: return nullptr;
    }
}

int32_t FirstSectorForKind(DownloadKind kind) {
    switch (kind) {
        case DownloadKind::MainFirmware: return 6;
        case DownloadKind::IplFirmware: return kIplFirstSector;
        case DownloadKind::Font: return 20;
        default: return 0;
    }
}

bool IsFileKind(DownloadKind kind) { return RequiredExtension(kind) != nullptr; }

int64_t SectorAddress(int32_t sector, const int32_t* pSectorSizes) {
    int64_t address = 0;
    for (int32_t s = 1; s < sector && s <= pSectorSizes[0]; ++s)
        address += pSectorSizes[s];
    return address;
}

DownloadKind TagKindFor(DownloadKind kind) {
    if (kind == DownloadKind::MainFirmware || kind == DownloadKind::IplFirmware)
        return kind;
    return DownloadKind::Font;
}

int CheckFileIdentity(const std::string& path, DownloadKind kind) {
    BinaryFile file;
    if (!file.Open(path)) return kResultFileOpenFailed;
    const DownloadKind tagKind = TagKindFor(kind);
    for (const FileTag* row = kFileTags; row->tag[0] != '\0'; ++row) {
        if (row->kind != tagKind) continue;
        // Zero-filled, so a short read compares as a shorter text.
        char buf[5] = {};
        if (file.Seek(row->offset))
            file.Read(reinterpret_cast<uint8_t*>(buf), 4);
        if (std::strcmp(buf, row->tag) != 0) return kResultWrongFile;
    }
    return kResultSuccess;
}

int64_t DataLength(int64_t fileLength, bool bIpl) {
    return bIpl ? fileLength - kIplSkippedBytes : fileLength;
}

std::vector<int32_t> BuildSectorPlan(int64_t dataLength, int32_t firstSector,
                                     const int32_t* pSectorSizes) {
    std::vector<int32_t> plan;
    const int32_t count = pSectorSizes[0];
    int64_t remaining = dataLength;
    for (int32_t s = firstSector; remaining > 0 && s >= 1 && s <= count; ++s) {
        plan.push_back(s);
        remaining -= pSectorSizes[s];
    }
    return plan;
}

int CheckDataLength(int64_t fileLength, int32_t firstSector, bool bIpl,
                    const int32_t* pSectorSizes, std::vector<int32_t>* plan) {
    if (plan) plan->clear();
    const int64_t dataLength = DataLength(fileLength, bIpl);
    if (dataLength <= 0) return kResultBadDataFile;
    // The IPL sequence positions sectors 4 and 5 at fixed file offsets.
    if (bIpl && (fileLength != kIplFileLength || firstSector != kIplFirstSector))
        return kResultBadDataFile;
    std::vector<int32_t> sectors =
        BuildSectorPlan(dataLength, firstSector, pSectorSizes);
    int64_t covered = 0;
    for (int32_t s : sectors) covered += pSectorSizes[s];
    // Sectors are positioned from the end of the file, which is each
    // sector's start only when the data fills them exactly; a shortfall
    // also means the plan would run past the last sector.
    if (sectors.empty() || covered != dataLength) return kResultBadDataFile;
    if (bIpl && sectors.size() != 2) return kResultBadDataFile;
    if (plan) *plan = std::move(sectors);
    return kResultSuccess;
}

int64_t FileLength(const std::string& path) {
    BinaryFile file;
    if (!file.Open(path)) return -1;
    return file.Length();
}

int CheckDataFileLength(const std::string& path, int32_t firstSector,
                        bool bIpl, const int32_t* pSectorSizes,
                        std::vector<int32_t>* plan) {
    if (plan) plan->clear();
    const int64_t length = FileLength(path);
    if (length < 0) return kResultFileOpenFailed;
    return CheckDataLength(length, firstSector, bIpl, pSectorSizes, plan);
}
