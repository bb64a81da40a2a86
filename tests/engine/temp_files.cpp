#include "tests/engine/temp_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

namespace rtq::test {

TempFolder::TempFolder() {
    // A new folder of a random name (mkdtemp is not everywhere).
    std::random_device random;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "rtq-engine-%08x", static_cast<unsigned>(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(base / name, ec)) m_path = (base / name).string();
    }
}

TempFolder::~TempFolder() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
}

std::string TempFolder::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::string path = m_path + "/" + name;
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

std::vector<uint8_t> PatternBytes(size_t n, uint32_t seed) {
    std::vector<uint8_t> out(n);
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = static_cast<uint8_t>((x >> 16) & 0x7F);  // never 0xFF
    }
    return out;
}

void PutTag(std::vector<uint8_t>* bytes, size_t offset, const char* tag) {
    if (bytes->size() < offset + 4) bytes->resize(offset + 4, 0);
    std::memcpy(bytes->data() + offset, tag, 4);
}

std::vector<uint8_t> MainFirmwareImage(size_t n) {
    std::vector<uint8_t> b = PatternBytes(n, 6);
    PutTag(&b, 0x4F0, "MAIN");
    PutTag(&b, 0x4F4, "MB01");
    return b;
}

std::vector<uint8_t> IplImage() {
    std::vector<uint8_t> b = PatternBytes(0x20000, 4);
    PutTag(&b, 0x106F0, "IPL@");
    PutTag(&b, 0x106F4, "MB01");
    return b;
}

std::vector<uint8_t> FontImage(size_t n) {
    std::vector<uint8_t> b = PatternBytes(n, 20);
    PutTag(&b, 0, "MB01");
    return b;
}

}  // namespace rtq::test
