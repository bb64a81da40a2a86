#pragma once
// A data file opened for reading, closed when the object goes. Only
// regular files open, and nothing else is even opened: a named pipe would
// block the open, and a device might act on it. The file can tell whether
// it has changed since it was opened.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

// How an open file differs from what it was when opened.
enum class FileChange { None, Grew, Truncated, Modified, Replaced, Removed };

class BinaryFile {
public:
    BinaryFile() = default;
    ~BinaryFile();
    BinaryFile(const BinaryFile&) = delete;
    BinaryFile& operator=(const BinaryFile&) = delete;

    // False with the cause stored for the failure hint: the system's error,
    // or "not a regular file" (error number EINVAL, or EISDIR for a folder).
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Length in bytes now; -1 when not open or unknown.
    int64_t Length() const;
    // Length when it was opened; -1 when not open.
    int64_t OpenedLength() const { return m_fd >= 0 ? m_opened.size : -1; }
    // Moves to an offset from the start; false for a negative offset.
    bool Seek(int64_t offset);
    // Reads up to len bytes at the current position; fewer at the end of
    // the file or on a read error (whose cause is stored).
    size_t Read(uint8_t* buf, size_t len);

    // Compares the open file with what it was when opened: its length and
    // modification time, and whether its path still names it. The current
    // length goes to *lengthNow when wanted.
    FileChange Change(int64_t* lengthNow = nullptr) const;
    const std::string& Path() const { return m_path; }

private:
    struct Stamp {
        uint64_t dev = 0;  // the file's identity: device (volume) and
        uint64_t ino = 0;  // inode (file index)
        int64_t size = -1;
        timespec mtime{};
    };

    int m_fd = -1;
    std::string m_path;
    Stamp m_opened;
    int64_t m_pos = 0;
};
