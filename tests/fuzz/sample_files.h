#pragma once
// The small data files the link targets download, made once per process:
// a one-sector font, a one-sector main firmware and an IPL, with their
// identification tags, and the CRC of the bytes each sector must receive.

#include <cstdint>
#include <map>
#include <string>

namespace rtq::fuzz {

struct SampleFile {
    std::string path;
    int32_t firstSector = 0;
    bool main = false;
    bool ipl = false;
    // CRC-16/ARC of the file bytes meant for each sector of the plan.
    std::map<int, uint16_t> sectorCrc;
};

const SampleFile& FontFile();
const SampleFile& MainFirmwareFile();
const SampleFile& IplFile();

}  // namespace rtq::fuzz
