#pragma once
// Reads a fuzzer's input as a stream of decisions. Once the bytes run out
// every read yields zero, so a short input still describes a whole run and
// zero stands for the plain, well-behaved choice.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rtq::fuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    uint8_t Byte();
    bool Bool() { return (Byte() & 1) != 0; }
    uint16_t U16();
    uint32_t U32();
    // A value in [lo, hi]; lo when the input has run out.
    int64_t Range(int64_t lo, int64_t hi);
    // Up to maxLen bytes: a length byte (or two) then the bytes.
    std::vector<uint8_t> Bytes(size_t maxLen);
    std::string Text(size_t maxLen);
    // Everything not read yet.
    std::vector<uint8_t> Rest();

    size_t Remaining() const { return m_size - m_pos; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

}  // namespace rtq::fuzz
