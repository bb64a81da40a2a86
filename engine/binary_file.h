#pragma once
// A data file opened for reading, closed when the object goes. Only
// regular files open: a folder or a device is not a data file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class BinaryFile {
public:
    BinaryFile() = default;
    ~BinaryFile();
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_file != nullptr; }

    // Length in bytes; -1 when not open or unknown.
    int64_t Length() const;
    // Moves to an offset from the start; false for a negative offset or a
    // failing seek.
    bool Seek(int64_t offset);
    // Reads up to len bytes at the current position; fewer at the end of
    // the file or on a read error.
    size_t Read(uint8_t* buf, size_t len);

private:
    std::FILE* m_file = nullptr;
};
