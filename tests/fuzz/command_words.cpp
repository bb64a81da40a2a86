#include "tests/fuzz/command_words.h"

namespace rtq::fuzz {

std::vector<std::string> CommandWords(const uint8_t* data, size_t size, size_t maxWords) {
    std::vector<std::string> words;
    if (size == 0) return words;
    words.emplace_back();
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != 0) {
            words.back().push_back(static_cast<char>(data[i]));
        } else if (words.size() < maxWords) {
            words.emplace_back();
        } else {
            break;
        }
    }
    return words;
}

bool AnyLineBreak(const std::vector<std::string>& words) {
    for (const std::string& w : words)
        if (w.find_first_of("\r\n") != std::string::npos) return true;
    return false;
}

}  // namespace rtq::fuzz
