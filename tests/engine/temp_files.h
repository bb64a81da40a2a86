#pragma once
// Data files for tests, in a folder of their own that goes with the object.

#include <cstdint>
#include <string>
#include <vector>

namespace rtq::test {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return m_path; }
    // Writes the bytes to a file of that name in the folder; its path.
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;

private:
    std::string m_path;
};

// n bytes of a repeatable pattern that differs from sector to sector and
// is never 0xFF throughout, so misplaced or missing data shows.
std::vector<uint8_t> PatternBytes(size_t n, uint32_t seed = 1);

// Puts the four characters of a tag at an offset.
void PutTag(std::vector<uint8_t>* bytes, size_t offset, const char* tag);

// Files that pass the identification check of their kind.
std::vector<uint8_t> MainFirmwareImage(size_t n);
std::vector<uint8_t> IplImage();  // 131072 bytes
std::vector<uint8_t> FontImage(size_t n);

}  // namespace rtq::test
