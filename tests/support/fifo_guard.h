#pragma once
// A named pipe for tests of code that must refuse it without blocking. A
// reader that opens a pipe with no writer blocks, so a regression would
// hang the test: while the code under test has not returned, the guard
// keeps opening and closing the write end, which releases a blocked open
// or read, and the test fails instead.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace rtq::test {

class FifoGuard {
public:
    explicit FifoGuard(std::string path) : m_path(std::move(path)) {
        m_made = mkfifo(m_path.c_str(), 0600) == 0;
    }
    ~FifoGuard() { unlink(m_path.c_str()); }
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;

    const std::string& Path() const { return m_path; }
    bool Made() const { return m_made; }

    // Runs fn; false when it blocked and had to be released.
    template <class Fn>
    bool ReturnsWithoutBlocking(Fn fn) {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool released = false;
        std::thread guard([&] {
            std::unique_lock<std::mutex> lock(mutex);
            while (!done.wait_for(lock, std::chrono::seconds(2), [&] { return finished; })) {
                released = true;
                const int fd = open(m_path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) close(fd);
            }
        });
        fn();
        {
            std::lock_guard<std::mutex> lock(mutex);
            finished = true;
        }
        done.notify_one();
        guard.join();
        return !released;
    }

private:
    std::string m_path;
    bool m_made = false;
};

}  // namespace rtq::test
