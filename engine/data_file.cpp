#include "engine/data_file.h"

#include <cstring>

#include "engine/binary_file.h"
#include "engine/result_codes.h"
#include "platform/last_error.h"

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
    if (!bIpl) return fileLength;
    // Nothing past the skipped part is nothing to send; subtracting could
    // also wrap for a length near the lowest value.
    return fileLength <= kIplSkippedBytes ? 0 : fileLength - kIplSkippedBytes;
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

namespace {

// Every refusal says which rule the file broke, for the message's cause line.
int Refuse(const std::string& why) {
    rtq::SetLastErrorText(why);
    return kResultBadDataFile;
}

}  // namespace

int CheckDataLength(int64_t fileLength, int32_t firstSector, bool bIpl,
                    const int32_t* pSectorSizes, std::vector<int32_t>* plan) {
    if (plan) plan->clear();
    const std::string length = std::to_string(fileLength) + " bytes";
    const int64_t dataLength = DataLength(fileLength, bIpl);
    // The IPL sequence positions sectors 4 and 5 at fixed file offsets.
    if (bIpl && (fileLength != kIplFileLength || firstSector != kIplFirstSector))
        return Refuse("An IPL file must be exactly " + std::to_string(kIplFileLength) +
                      " bytes long; this one has " + length + ".");
    if (dataLength <= 0) return Refuse("The file is empty.");
    std::vector<int32_t> sectors =
        BuildSectorPlan(dataLength, firstSector, pSectorSizes);
    int64_t covered = 0;
    for (int32_t s : sectors) covered += pSectorSizes[s];
    // Sectors are positioned from the end of the file, which is each
    // sector's start only when the data fills them exactly; a shortfall
    // also means the plan would run past the last sector.
    if (sectors.empty() || covered < dataLength)
        return Refuse("The file (" + length + ") is larger than the flash from sector " +
                      std::to_string(firstSector) + " on.");
    if (covered != dataLength)
        return Refuse("The file (" + length +
                      ") does not fill whole flash sectors; its length must be a multiple "
                      "of the sector size (65536 bytes).");
    if (bIpl && sectors.size() != 2)
        return Refuse("An IPL file must fill flash sectors 4 and 5 exactly.");
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
