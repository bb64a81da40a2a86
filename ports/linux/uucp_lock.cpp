#include "ports/linux/uucp_lock.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/clock.h"

namespace rtq {
namespace {

struct Held {
    std::string path;
    int count = 0;
    pid_t owner = 0;  // a forked child inherits the table, not the locks
};

// Never destroyed: a port still open while the process exits releases its
// lock from another static's destructor.
std::mutex& Mutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}
// Keyed by lock file path.
std::map<std::string, Held>& HeldLocks() {
    static auto* held = new std::map<std::string, Held>;
    return *held;
}

// What an existing lock file says of its owner.
constexpr long kNoOwnerText = -1;  // empty, not a number, or not a valid id
constexpr long kNotReadable = -2;  // cannot be opened (another user's, say)
constexpr long kLockGone = -3;     // removed meanwhile

// A writer creates the file first and writes its id after: a file without
// a valid id is given this long before it counts as left behind.
constexpr int64_t kUnreadableLockGraceMs = 500;

// The id in an existing lock file (ASCII, as most programs write it), or
// one of the values above; *inode tells one file from its successor.
long LockOwner(const std::string& path, ino_t* inode = nullptr) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? kLockGone : kNotReadable;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return kNotReadable;
    }
    if (inode) *inode = st.st_ino;
    char text[32] = {};
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0) return kNoOwnerText;
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(text, &end, 10);
    const bool ended = *end == '\0' || *end == '\n' || *end == ' ';
    return end == text || !ended || errno != 0 || pid <= 0 || pid > INT_MAX ? kNoOwnerText
                                                                              : pid;
}

// The owner of an existing lock file; one without a valid id is looked at
// again after the grace, and still the same file without one is left
// behind (kLockGone after removing it).
long SettledLockOwner(const std::string& path) {
    ino_t first = 0;
    const long pid = LockOwner(path, &first);
    if (pid != kNoOwnerText) return pid;
    rtq::SleepMs(kUnreadableLockGraceMs);
    ino_t second = 0;
    const long again = LockOwner(path, &second);
    if (again != kNoOwnerText || second != first) return again;
    unlink(path.c_str());
    return kLockGone;
}

bool Alive(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

// Creates the lock file for this process: 0 on success, else an errno.
int CreateLock(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return errno;
    char text[16];
    const int len = std::snprintf(text, sizeof text, "%10ld\n", static_cast<long>(getpid()));
    const bool written = write(fd, text, static_cast<size_t>(len)) == len;
    close(fd);
    if (!written) {
        unlink(path.c_str());
        return EIO;
    }
    return 0;
}

}  // namespace

std::string PortLockFolder() {
    const char* folder = std::getenv("RTQFLASH_LOCK_DIR");
    return folder && *folder ? folder : "/run/lock";
}

std::string PortLockPath(const std::string& devicePath) {
    std::string name = devicePath;
    if (char* real = realpath(devicePath.c_str(), nullptr)) {
        name = real;
        free(real);
    }
    if (name.rfind("/dev/", 0) == 0) name.erase(0, 5);
    for (char& c : name)
        if (c == '/') c = '_';
    return PortLockFolder() + "/LCK.." + name;
}

bool AcquirePortLock(const std::string& devicePath, std::string* key, int* err, long* owner) {
    const std::string path = PortLockPath(devicePath);
    *key = path;
    std::lock_guard<std::mutex> lk(Mutex());
    std::map<std::string, Held>& held = HeldLocks();
    auto it = held.find(path);
    if (it != held.end() && it->second.owner != getpid()) {
        held.erase(it);
        it = held.end();
    }
    if (it != held.end()) {
        ++it->second.count;
        return true;
    }
    int created = CreateLock(path);
    if (created == EEXIST) {
        const long pid = SettledLockOwner(path);
        if (pid > 0 && Alive(pid) && pid != static_cast<long>(getpid())) {
            if (owner) *owner = pid;
            *err = EBUSY;
            return false;
        }
        if (pid == kNotReadable || pid == kNoOwnerText) {
            // Not ours to judge, or a writer still busy with it.
            *err = EBUSY;
            return false;
        }
        // Left by a process that is gone (or by an earlier run of ours).
        if (pid != kLockGone) unlink(path.c_str());
        created = CreateLock(path);
    }
    if (created == EACCES || created == EROFS || created == ENOENT || created == EPERM) {
        // No lock can be kept here; count it so that releases balance.
        held[path] = Held{std::string(), 1, getpid()};
        return true;
    }
    if (created != 0) {
        *err = created == EEXIST ? EBUSY : created;
        return false;
    }
    held[path] = Held{path, 1, getpid()};
    return true;
}

void ReleasePortLock(const std::string& key) {
    const std::string& path = key;
    std::lock_guard<std::mutex> lk(Mutex());
    std::map<std::string, Held>& held = HeldLocks();
    auto it = held.find(path);
    if (it == held.end() || it->second.owner != getpid() || --it->second.count > 0) return;
    // Only a file this process made and still owns.
    if (!it->second.path.empty() && LockOwner(path) == static_cast<long>(getpid()))
        unlink(path.c_str());
    held.erase(it);
}

}  // namespace rtq
