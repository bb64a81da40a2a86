#include "engine/binary_file.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/last_error.h"

BinaryFile::~BinaryFile() { Close(); }

bool BinaryFile::Open(const std::string& path) {
    Close();
    if (path.empty()) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        rtq::SetLastErrorFromErrno(errno, path);
        return false;
    }
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        std::fclose(f);
        rtq::SetLastErrorFromErrno(err, path);
        return false;
    }
    m_file = f;
    return true;
}

void BinaryFile::Close() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
}

int64_t BinaryFile::Length() const {
    if (!m_file) return -1;
    struct stat st {};
    if (fstat(fileno(m_file), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool BinaryFile::Seek(int64_t offset) {
    if (!m_file || offset < 0) return false;
    return fseeko(m_file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

size_t BinaryFile::Read(uint8_t* buf, size_t len) {
    if (!m_file || !buf || len == 0) return 0;
    return std::fread(buf, 1, len, m_file);
}
