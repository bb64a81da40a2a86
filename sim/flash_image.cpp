#include "sim/flash_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace rtq::sim {

uint32_t FlashImage::SectorSize(int n) {
    if (!ValidSector(n)) return 0;
    switch (n) {
        case 1: return 16384;
        case 2:
        case 3: return 8192;
        case 4: return 32768;
        default: return 65536;
    }
}

uint32_t FlashImage::SectorAddress(int n) {
    if (!ValidSector(n)) return 0;
    switch (n) {
        case 1: return 0x0;
        case 2: return 0x4000;
        case 3: return 0x6000;
        case 4: return 0x8000;
        default: return static_cast<uint32_t>(n - 4) * 0x10000;
    }
}

FlashImage::FlashImage(uint8_t fill) : m_bytes(kTotalSize, fill) {}

void FlashImage::Fill(uint8_t value) {
    std::fill(m_bytes.begin(), m_bytes.end(), value);
}

void FlashImage::Erase(int sector) {
    if (!ValidSector(sector)) return;
    auto begin = m_bytes.begin() + SectorAddress(sector);
    std::fill(begin, begin + SectorSize(sector), 0xFF);
}

size_t FlashImage::Program(int sector, uint32_t offset, const uint8_t* data,
                           size_t len, bool andProgramming) {
    const uint32_t size = SectorSize(sector);
    if (size == 0 || offset >= size) return 0;
    const size_t n = std::min<size_t>(len, size - offset);
    uint8_t* dst = m_bytes.data() + SectorAddress(sector) + offset;
    if (andProgramming) {
        for (size_t i = 0; i < n; ++i) dst[i] &= data[i];
    } else {
        std::memcpy(dst, data, n);
    }
    return n;
}

std::vector<uint8_t> FlashImage::Read(uint32_t addr, size_t len) const {
    if (addr >= m_bytes.size()) return {};
    const size_t n = std::min<size_t>(len, m_bytes.size() - addr);
    return std::vector<uint8_t>(m_bytes.begin() + addr,
                                m_bytes.begin() + addr + n);
}

void FlashImage::Write(uint32_t addr, const uint8_t* data, size_t len) {
    if (addr >= m_bytes.size()) return;
    const size_t n = std::min<size_t>(len, m_bytes.size() - addr);
    std::memcpy(m_bytes.data() + addr, data, n);
}

bool FlashImage::SaveTo(const std::string& path, std::string* error) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error) *error = path + ": " + std::strerror(errno);
        return false;
    }
    const bool written =
        std::fwrite(m_bytes.data(), 1, m_bytes.size(), f) == m_bytes.size();
    const int savedErrno = errno;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        if (error)
            *error = path + ": " + std::strerror(written ? errno : savedErrno);
        return false;
    }
    return true;
}

bool FlashImage::LoadFrom(const std::string& path, std::string* error) {
    const auto fail = [&](const std::string& why) {
        if (error) *error = path + ": " + why;
        return false;
    };
    // Looked at before it is opened: opening a pipe waits for a writer,
    // and only a file holds an image.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return fail(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return fail("not a regular file");
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return fail(std::strerror(errno));
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return fail("not a regular file");
    }
    std::vector<uint8_t> data(m_bytes.size() + 1);
    size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = read(fd, data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            close(fd);
            return fail(std::string("read error: ") + std::strerror(err));
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    if (got > m_bytes.size()) return fail("larger than the flash (4390912 bytes)");
    std::memcpy(m_bytes.data(), data.data(), got);
    return true;
}

}  // namespace rtq::sim
