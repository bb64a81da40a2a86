#include "app/runtime_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace rtq {

namespace {

constexpr mode_t kPrivateMode = 0700;

bool IsPrivateFolderOf(const std::string& path, uid_t uid) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == uid && (st.st_mode & 07777) == kPrivateMode;
}

std::string MakeFreshFolder(const std::string& prefix) {
    std::string pattern = prefix + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    // mkdtemp creates the folder with mode 0700, under a name nobody held.
    if (!::mkdtemp(buffer.data())) return {};
    return std::string(buffer.data());
}

}  // namespace

std::string MakePrivateRuntimeFolder(const std::string& base, uid_t uid) {
    const std::string path = base + "/rtqflash-runtime-" + std::to_string(uid);
    if (::mkdir(path.c_str(), kPrivateMode) == 0) {
        // The umask may have taken bits away.
        ::chmod(path.c_str(), kPrivateMode);
    } else if (errno != EEXIST) {
        return MakeFreshFolder(path);
    }
    if (IsPrivateFolderOf(path, uid)) return path;
    return MakeFreshFolder(path);
}

void EnsureRuntimeFolder() {
    const char* set = std::getenv("XDG_RUNTIME_DIR");
    if (set && *set) return;
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = (tmp && *tmp) ? tmp : "/tmp";
    const std::string folder = MakePrivateRuntimeFolder(base, ::getuid());
    if (!folder.empty()) ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

}  // namespace rtq
