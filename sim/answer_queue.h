#pragma once
// The printer's outgoing bytes, each answer with the time from which the
// host can read it. Answers leave in order: a slow answer holds back the
// ones queued after it.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace rtq::sim {

class AnswerQueue {
public:
    void Push(const std::vector<uint8_t>& bytes, int64_t releaseMs);
    // Bytes readable at time now.
    size_t Available(int64_t nowMs) const;
    size_t Take(uint8_t* buf, size_t max, int64_t nowMs);
    // Release time of the first byte not yet readable at now, if any.
    std::optional<int64_t> NextRelease(int64_t nowMs) const;
    // Drops what is readable at now (the host discarding its input).
    void DropReleased(int64_t nowMs);
    void Clear() { m_chunks.clear(); }
    // Every byte queued, readable or not.
    size_t Pending() const;

private:
    struct Chunk {
        std::vector<uint8_t> bytes;
        size_t pos = 0;
        int64_t releaseMs = 0;
    };
    std::deque<Chunk> m_chunks;
};

}  // namespace rtq::sim
