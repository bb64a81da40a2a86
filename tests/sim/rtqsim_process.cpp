#include "tests/sim/rtqsim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace rtq::sim::test {

namespace {

// Real time on purpose: these tests talk to another process.
int64_t MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

std::string RtqsimPath() {
    namespace fs = std::filesystem;
    if (const char* dir = std::getenv("RTQ_TEST_BINARY_DIR")) {
        const fs::path p = fs::path(dir) / "sim" / "rtqsim";
        if (fs::exists(p)) return p.string();
    }
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path p = self.parent_path().parent_path().parent_path() / "sim" / "rtqsim";
        if (fs::exists(p)) return p.string();
    }
    return {};
}

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "rtqsim-test-XXXXXX").string();
    if (mkdtemp(pattern.data())) m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
}

RtqsimProcess::~RtqsimProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) close(m_out);
}

bool RtqsimProcess::Start(const std::vector<std::string>& args,
                          const std::string& errPath) {
    const std::string path = RtqsimPath();
    if (path.empty()) return false;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> argvStore = {path};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&m_pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    m_out = pipeFds[0];
    if (rc != 0) {
        m_pid = -1;
        return false;
    }

    const int64_t end = MonotonicMs() + 5000;
    char c;
    while (MonotonicMs() < end) {
        pollfd p{m_out, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(end - MonotonicMs())) <= 0) break;
        const ssize_t n = read(m_out, &c, 1);
        if (n <= 0) break;
        if (c == '\n') return true;
        m_firstLine.push_back(c);
    }
    return false;
}

int RtqsimProcess::WaitExit(int timeoutMs) {
    if (m_pid <= 0) return -1;
    const int64_t end = MonotonicMs() + timeoutMs;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (MonotonicMs() >= end) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int RtqsimProcess::Stop() {
    if (m_pid <= 0) return -1;
    kill(m_pid, SIGTERM);
    return WaitExit(5000);
}

long RtqsimProcess::CpuTicks() const {
    std::ifstream stat("/proc/" + std::to_string(m_pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name in parentheses; utime and stime are
    // fields 14 and 15 of the line.
    const size_t close = all.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
}

int OpenRawTerminal(const std::string& path, unsigned speed) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return -1;
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        close(fd);
        return -1;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&t, speed);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

bool WriteBytes(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::vector<uint8_t> ReadBytes(int fd, size_t n, int timeoutMs) {
    std::vector<uint8_t> out;
    const int64_t end = MonotonicMs() + timeoutMs;
    while (out.size() < n) {
        const int64_t left = end - MonotonicMs();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
        uint8_t buf[256];
        const ssize_t got = read(fd, buf, std::min(sizeof buf, n - out.size()));
        if (got <= 0) break;
        out.insert(out.end(), buf, buf + got);
    }
    return out;
}

}  // namespace rtq::sim::test
