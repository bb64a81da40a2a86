#include "tests/fuzz/sample_files.h"

#include <cstring>
#include <vector>

#include "sim/sim_crc.h"
#include "tests/fuzz/scratch_folder.h"

namespace rtq::fuzz {

namespace {

std::string Image(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t x = seed;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

void Tag(std::string& image, size_t offset, const char* tag) {
    std::memcpy(image.data() + offset, tag, 4);
}

uint16_t Crc(const std::string& image, size_t from, size_t len) {
    return rtq::sim::SimCrc16::Of(reinterpret_cast<const uint8_t*>(image.data()) + from, len);
}

SampleFile Make(const char* name, std::string image, int32_t first, bool main, bool ipl) {
    SampleFile f;
    f.path = WriteScratchFile(name, image);
    f.firstSector = first;
    f.main = main;
    f.ipl = ipl;
    if (ipl) {
        f.sectorCrc[4] = Crc(image, 0x8000, 0x8000);
        f.sectorCrc[5] = Crc(image, 0x10000, 0x10000);
    } else {
        f.sectorCrc[first] = Crc(image, 0, image.size());
    }
    return f;
}

}  // namespace

const SampleFile& FontFile() {
    static const SampleFile f = [] {
        std::string image = Image(65536, 1);
        Tag(image, 0, "MB01");
        return Make("font.bin", image, 20, false, false);
    }();
    return f;
}

const SampleFile& MainFirmwareFile() {
    static const SampleFile f = [] {
        std::string image = Image(65536, 2);
        Tag(image, 0x4F0, "MAIN");
        Tag(image, 0x4F4, "MB01");
        return Make("main.mfw", image, 6, true, false);
    }();
    return f;
}

const SampleFile& IplFile() {
    static const SampleFile f = [] {
        std::string image = Image(131072, 3);
        Tag(image, 0x106F0, "IPL@");
        Tag(image, 0x106F4, "MB01");
        return Make("boot.ipl", image, 4, false, true);
    }();
    return f;
}

}  // namespace rtq::fuzz
