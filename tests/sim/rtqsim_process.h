#pragma once
// Starts the built rtqsim for a test and talks to it through its
// pseudo-terminal like a host would: a plain termios descriptor.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace rtq::sim::test {

// Path of the built rtqsim: $RTQ_TEST_BINARY_DIR/sim/rtqsim, or beside
// this test binary's build tree when run by hand. Empty if not found.
std::string RtqsimPath();

// A fresh, empty folder for one test's files, removed by its destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

class RtqsimProcess {
public:
    RtqsimProcess() = default;
    ~RtqsimProcess();  // stops it if it still runs
    RtqsimProcess(const RtqsimProcess&) = delete;
    RtqsimProcess& operator=(const RtqsimProcess&) = delete;

    // Starts it; waits for its first line on stdout (the listening line).
    // stderr goes to errPath.
    bool Start(const std::vector<std::string>& args, const std::string& errPath);
    const std::string& FirstLine() const { return m_firstLine; }
    pid_t Pid() const { return m_pid; }

    // Waits up to timeoutMs for it to exit by itself; its exit status, or
    // -1 if it did not exit in time.
    int WaitExit(int timeoutMs);
    // SIGTERM, then the exit status (-1 if it would not stop).
    int Stop();
    // CPU time it has used so far, in clock ticks (utime + stime).
    long CpuTicks() const;

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_firstLine;
};

// A host-side descriptor on a terminal device: raw mode at the given speed.
int OpenRawTerminal(const std::string& path, unsigned speed);
bool WriteBytes(int fd, const std::vector<uint8_t>& bytes);
// Reads until n bytes arrived or timeoutMs passed; returns what came.
std::vector<uint8_t> ReadBytes(int fd, size_t n, int timeoutMs);

}  // namespace rtq::sim::test
