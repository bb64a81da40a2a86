#pragma once
// The printer's flash memory: 70 sectors (16384, 8192, 8192, 32768 bytes,
// then 66 of 65536), addressed from 0. Sectors are numbered from 1.
// Programming models a real flash cell, which can only clear bits: new
// data is ANDed into the existing content unless plain overwrite is asked
// for, so writing a sector that was not erased corrupts it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rtq::sim {

class FlashImage {
public:
    static constexpr int kSectorCount = 70;
    static constexpr uint32_t kTotalSize = 0x430000;
    // The main firmware area (sectors 6 to 19), the range the printer's
    // CRC recalculation covers.
    static constexpr uint32_t kMainAreaBegin = 0x20000;
    static constexpr uint32_t kMainAreaEnd = 0x100000;

    static bool ValidSector(int n) { return n >= 1 && n <= kSectorCount; }
    // 0 for a sector number out of range.
    static uint32_t SectorSize(int n);
    static uint32_t SectorAddress(int n);

    explicit FlashImage(uint8_t fill = 0xFF);

    void Fill(uint8_t value);
    void Erase(int sector);
    // Programs len bytes at offset within sector; bytes past the end of the
    // sector are dropped. Returns how many bytes were programmed.
    size_t Program(int sector, uint32_t offset, const uint8_t* data,
                   size_t len, bool andProgramming);

    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    // Bytes from addr on, cut at the end of the flash.
    std::vector<uint8_t> Read(uint32_t addr, size_t len) const;
    // Raw store (preloading a test image); cut at the end of the flash.
    void Write(uint32_t addr, const uint8_t* data, size_t len);

    // The whole image to a file; false with a reason on failure.
    bool SaveTo(const std::string& path, std::string* error) const;
    // Loads a file into the image from address 0; a file larger than the
    // flash, and anything that is not a regular file, is refused (a named
    // pipe without waiting for a writer).
    bool LoadFrom(const std::string& path, std::string* error);

private:
    std::vector<uint8_t> m_bytes;
};

}  // namespace rtq::sim
