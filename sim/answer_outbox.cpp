#include "sim/answer_outbox.h"

#include <unistd.h>

#include <cerrno>

#include "platform/clock.h"

namespace rtq::sim {

int AnswerOutbox::PollTimeoutMs(const SimPrinter& printer) {
    const auto release = printer.NextReleaseMs();
    if (!release) return -1;
    const int64_t left = *release - rtq::SteadyMs();
    return static_cast<int>(left < 0 ? 0 : left > 60000 ? 60000 : left);
}

void AnswerOutbox::Collect(SimPrinter& printer) {
    if (printer.OutputAvailable() == 0) return;
    const std::vector<uint8_t> answer = printer.TakeOutput();
    m_bytes.insert(m_bytes.end(), answer.begin(), answer.end());
}

bool AnswerOutbox::Flush(int fd) {
    if (m_bytes.empty()) return true;
    const ssize_t n = write(fd, m_bytes.data(), m_bytes.size());
    if (n > 0) {
        m_bytes.erase(m_bytes.begin(), m_bytes.begin() + n);
        return true;
    }
    return n == 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

}  // namespace rtq::sim
