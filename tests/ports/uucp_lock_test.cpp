// The port's lock file: another process is kept off a reserved port even
// while it is closed, a lock left by a dead process is taken over, every
// name of one device shares the lock, and the file goes with the last
// release.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "ports/linux/linux_serial_backend.h"
#include "ports/linux/uucp_lock.h"

namespace rtq {
namespace {

class PortLock : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/rtq-lock-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        lockDir = folder;
        ASSERT_EQ(setenv("RTQFLASH_LOCK_DIR", lockDir.c_str(), 1), 0);
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        slave = ptsname(master);
    }
    void TearDown() override {
        close(master);
        unsetenv("RTQFLASH_LOCK_DIR");
        std::remove((lockDir + "/link").c_str());
        rmdir(lockDir.c_str());
    }

    // Exit status of a child process that opens the port once: 0 opened,
    // 1 refused as busy, 2 refused otherwise.
    int OpenInChild() {
        const pid_t pid = fork();
        if (pid == 0) {
            LinuxSerialBackend other;
            const HANDLE h = other.Open(slave);
            if (h != INVALID_HANDLE_VALUE) {
                other.Close(h);
                _exit(0);
            }
            const LastError e = LastErrorDetails();
            const bool busy = e.number == EBUSY &&
                              e.path.find(std::to_string(getppid())) != std::string::npos;
            _exit(busy ? 1 : 2);
        }
        int status = -1;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    bool LockFileExists() { return access(PortLockPath(slave).c_str(), F_OK) == 0; }

    std::string lockDir;
    int master = -1;
    std::string slave;
};

TEST_F(PortLock, AReservedPortStaysOursWhileClosedUntilTheLastRelease) {
    std::string key;
    int err = 0;
    ASSERT_TRUE(AcquirePortLock(slave, &key, &err));
    // The lock file holds our id, as other serial programs expect it.
    std::ifstream file(key);
    long pid = 0;
    file >> pid;
    EXPECT_EQ(pid, long(getpid()));

    // Between our close and our reopen nobody else gets in.
    EXPECT_EQ(OpenInChild(), 1);

    // Our own open and close in the meantime keep the reservation.
    LinuxSerialBackend backend;
    const HANDLE h = backend.Open(slave);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << LastErrorText();
    backend.Close(h);
    EXPECT_TRUE(LockFileExists());
    EXPECT_EQ(OpenInChild(), 1);

    ReleasePortLock(key);
    EXPECT_FALSE(LockFileExists());
    EXPECT_EQ(OpenInChild(), 0);
}

TEST_F(PortLock, ALockOfAProcessThatIsGoneIsTakenOver) {
    const pid_t pid = fork();
    if (pid == 0) _exit(0);
    waitpid(pid, nullptr, 0);
    {
        std::ofstream stale(PortLockPath(slave));
        stale << "      " << pid << "\n";
    }
    std::string key;
    int err = 0;
    ASSERT_TRUE(AcquirePortLock(slave, &key, &err)) << err;
    ReleasePortLock(key);
    EXPECT_FALSE(LockFileExists());
}

// A lock file without a valid id blocked the port for good: it is given a
// moment for its writer to finish it, then taken over.
TEST_F(PortLock, ALockWithoutAValidIdIsTakenOverAfterAShortGrace) {
    VirtualClock clock;
    ScopedClock useClock(clock);
    for (const char* text : {"", "garbage\n", "        -5\n", "  42abc\n", "99999999999999999999\n"}) {
        {
            std::ofstream odd(PortLockPath(slave));
            odd << text;
        }
        clock.ResetSlept();
        std::string key;
        int err = 0;
        ASSERT_TRUE(AcquirePortLock(slave, &key, &err)) << "\"" << text << "\": " << err;
        EXPECT_GT(clock.SleptMs(), 0) << text;
        EXPECT_LE(clock.SleptMs(), 2000) << text;
        std::ifstream file(key);
        long pid = 0;
        file >> pid;
        EXPECT_EQ(pid, long(getpid()));
        ReleasePortLock(key);
        EXPECT_FALSE(LockFileExists());
    }
}

// A clock whose first sleep lets a writer finish the lock file it began.
class WriterFinishesClock final : public Clock {
public:
    explicit WriterFinishesClock(std::string path) : m_path(std::move(path)) {}
    int64_t NowMs() override { return 0; }
    int64_t MonotonicUs() override { return 0; }
    void SleepMs(int64_t) override {
        std::ofstream(m_path) << "         1\n";
    }
    bool WaitFor(std::condition_variable&, std::unique_lock<std::mutex>&, int64_t,
                 const std::function<bool()>& pred) override {
        return pred();
    }

private:
    std::string m_path;
};

TEST_F(PortLock, ALockItsWriterFinishesWithinTheGraceKeepsThePort) {
    std::ofstream(PortLockPath(slave)).flush();  // created, id not written yet
    WriterFinishesClock clock(PortLockPath(slave));
    ScopedClock useClock(clock);
    std::string key;
    int err = 0;
    long owner = 0;
    EXPECT_FALSE(AcquirePortLock(slave, &key, &err, &owner));
    EXPECT_EQ(err, EBUSY);
    EXPECT_EQ(owner, 1);
    std::remove(PortLockPath(slave).c_str());
}

// A live owner keeps the port, and the refusal names it and its lock file.
TEST_F(PortLock, ARefusalNamesTheLockFileAndItsOwner) {
    {
        std::ofstream held(PortLockPath(slave));
        held << "         1\n";
    }
    LinuxSerialBackend backend;
    EXPECT_EQ(backend.Open(slave), INVALID_HANDLE_VALUE);
    const LastError e = LastErrorDetails();
    EXPECT_EQ(e.number, EBUSY);
    EXPECT_EQ(e.path, slave + " (locked by process 1 in " + PortLockPath(slave) + ")");
    EXPECT_TRUE(LockFileExists());
    std::remove(PortLockPath(slave).c_str());
}

TEST_F(PortLock, EveryNameOfOneDeviceSharesTheLock) {
    const std::string link = lockDir + "/link";
    ASSERT_EQ(symlink(slave.c_str(), link.c_str()), 0);
    EXPECT_EQ(PortLockPath(link), PortLockPath(slave));
    EXPECT_EQ(PortLockPath(slave).rfind(lockDir + "/LCK..", 0), 0u);

    // Another process holding it under the other name refuses us.
    int pipeFd[2];
    ASSERT_EQ(pipe(pipeFd), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        std::string key;
        int err = 0;
        const char ok = AcquirePortLock(link, &key, &err) ? 1 : 0;
        (void)!write(pipeFd[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(pipeFd[0], &ok, 1), 1);
    ASSERT_EQ(ok, 1);
    std::string key;
    int err = 0;
    long owner = 0;
    EXPECT_FALSE(AcquirePortLock(slave, &key, &err, &owner));
    EXPECT_EQ(err, EBUSY);
    EXPECT_EQ(owner, long(pid));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(pipeFd[0]);
    close(pipeFd[1]);
    // Its holder is gone: ours now.
    EXPECT_TRUE(AcquirePortLock(slave, &key, &err));
    ReleasePortLock(key);
}

}  // namespace
}  // namespace rtq
