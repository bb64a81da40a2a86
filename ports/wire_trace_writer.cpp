#include "ports/wire_trace_writer.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/os_calls.h"
#include "platform/version.h"

namespace rtq {

namespace {

std::string SessionHeader() {
    const int64_t ms = NowMs();
    const time_t seconds = static_cast<time_t>(ms / 1000);
    tm utc{};
    UtcTime(seconds, &utc);
    char started[64];
    std::snprintf(started, sizeof started, "%04d-%02d-%02d %02d:%02d:%02d.%03d UTC",
                  utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                  utc.tm_sec, static_cast<int>(ms % 1000));
    std::string h = "# rtqflash wire trace, format 1, rtqflash ";
    h += kVersion;
    h += ", pid ";
    TraceLine::AppendDecimal(h, ProcessId());
    h += "\n# started ";
    h += started;
    h += "; time = seconds since then (monotonic)\n";
    h += "#        time lnk hndl event   dur(us) res  details\n";
    return h;
}

}  // namespace

WireTraceWriter& WireTraceWriter::Instance() {
    static WireTraceWriter writer;
    return writer;
}

bool WireTraceWriter::Open(const std::string& path, std::string* error,
                           const std::vector<NotATraceFile>& others) {
    const int fd = OpenTraceFile(path, others, error);
    if (fd < 0) return false;
    const std::string header = SessionHeader();
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_fd >= 0) {
        WriteLocked("# continued in another file\n");
        if (m_fd >= 0) ::close(m_fd);
    }
    m_fd = fd;
    m_originUs = MonotonicUs();
    WriteLocked(header);
    if (m_fd < 0 && error) *error = "cannot write the trace file " + path + ": " + m_writeError;
    return m_fd >= 0;
}

void WireTraceWriter::Close() {
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_fd < 0) return;
    std::string seconds;
    TraceLine::AppendSeconds(seconds, MonotonicUs() - m_originUs);
    const std::string end = "# stopped at " + seconds.substr(seconds.find_first_not_of(' ')) + " s\n";
    WriteLocked(end);
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

void WireTraceWriter::WriteLocked(const std::string& text) {
    size_t done = 0;
    while (done < text.size() && m_fd >= 0) {
        const ssize_t n = ::write(m_fd, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // A full disk must not stop the download: the trace ends here.
            m_writeError = n < 0 ? ErrnoText(errno) : "nothing written";
            ::close(m_fd);
            m_fd = -1;
        }
    }
}

WireTraceWriter::Event::Event(std::string_view link, HANDLE handle, std::string_view event,
                              int64_t startUs, std::string_view result)
    : m_line(Instance().m_buffer) {
    WireTraceWriter& writer = Instance();
    std::unique_lock<std::mutex> lk(writer.m_mutex);
    if (writer.m_fd < 0) return;
    // Read under the lock, so the lines of several threads stay in time order.
    const int64_t now = MonotonicUs();
    m_line.Begin(now - writer.m_originUs, link, handle, event, now - startUs, result);
    m_lock = std::move(lk);
    m_writer = &writer;
}

WireTraceWriter::Event::~Event() {
    if (!m_writer) return;
    m_line.End();
    m_writer->WriteLocked(m_writer->m_buffer);
}

void WireTraceWriter::Event::Error() {
    if (!m_writer) return;
    const std::string text = LastErrorText();
    if (!text.empty()) m_line.Quoted("err", text);
}

}  // namespace rtq
