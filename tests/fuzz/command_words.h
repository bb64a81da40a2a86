#pragma once
// Splits a fuzzer's input into command-line words at zero bytes, which no
// word of a real command line can hold.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rtq::fuzz {

std::vector<std::string> CommandWords(const uint8_t* data, size_t size, size_t maxWords);

// Whether any word holds a line break (it may then show up in a message).
bool AnyLineBreak(const std::vector<std::string>& words);

}  // namespace rtq::fuzz
