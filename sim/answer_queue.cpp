#include "sim/answer_queue.h"

#include <algorithm>
#include <cstring>

namespace rtq::sim {

void AnswerQueue::Push(const std::vector<uint8_t>& bytes, int64_t releaseMs) {
    if (bytes.empty()) return;
    if (!m_chunks.empty())
        releaseMs = std::max(releaseMs, m_chunks.back().releaseMs);
    m_chunks.push_back(Chunk{bytes, 0, releaseMs});
}

size_t AnswerQueue::Available(int64_t nowMs) const {
    size_t n = 0;
    for (const Chunk& c : m_chunks) {
        if (c.releaseMs > nowMs) break;
        n += c.bytes.size() - c.pos;
    }
    return n;
}

size_t AnswerQueue::Take(uint8_t* buf, size_t max, int64_t nowMs) {
    size_t n = 0;
    while (n < max && !m_chunks.empty() && m_chunks.front().releaseMs <= nowMs) {
        Chunk& c = m_chunks.front();
        const size_t k = std::min(max - n, c.bytes.size() - c.pos);
        std::memcpy(buf + n, c.bytes.data() + c.pos, k);
        c.pos += k;
        n += k;
        if (c.pos == c.bytes.size()) m_chunks.pop_front();
    }
    return n;
}

std::optional<int64_t> AnswerQueue::NextRelease(int64_t nowMs) const {
    for (const Chunk& c : m_chunks)
        if (c.releaseMs > nowMs) return c.releaseMs;
    return std::nullopt;
}

void AnswerQueue::DropReleased(int64_t nowMs) {
    while (!m_chunks.empty() && m_chunks.front().releaseMs <= nowMs)
        m_chunks.pop_front();
}

size_t AnswerQueue::Pending() const {
    size_t n = 0;
    for (const Chunk& c : m_chunks) n += c.bytes.size() - c.pos;
    return n;
}

}  // namespace rtq::sim
