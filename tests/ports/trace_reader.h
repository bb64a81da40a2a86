#pragma once
// Reads a wire trace back into calls.

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace rtq::test {

struct TracedCall {
    int64_t timeUs = 0, durUs = 0;
    std::string link, handle, event, result, details;  // details trimmed
    std::vector<uint8_t> bytes;  // of tx and rx, continuation lines included
    int64_t StartUs() const { return timeUs - durUs; }
};

// The event lines of a file (every line in *raw).
inline std::vector<TracedCall> ReadTrace(const std::string& path, std::vector<std::string>* raw = nullptr) {
    std::vector<TracedCall> calls;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (raw) raw->push_back(line);
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        const bool continued = line.rfind("    +", 0) == 0;
        if (!continued) {
            TracedCall c;
            double seconds = 0;
            words >> seconds >> c.link >> c.handle >> c.event >> c.durUs >> c.result;
            c.timeUs = static_cast<int64_t>(seconds * 1e6 + 0.5);
            std::getline(words >> std::ws, c.details);
            words.clear();
            words.str(c.details);
            calls.push_back(c);
        }
        std::string w;
        words >> w;  // the counts, or the continuation's offset
        if (calls.empty() || (calls.back().event != "tx" && calls.back().event != "rx")) continue;
        while (words >> w && w.size() == 2 && w.find_first_not_of("0123456789ABCDEF") == std::string::npos)
            calls.back().bytes.push_back(static_cast<uint8_t>(std::stoul(w, nullptr, 16)));
    }
    return calls;
}

inline std::vector<uint8_t> BytesOf(const std::vector<TracedCall>& calls, const std::string& event) {
    std::vector<uint8_t> all;
    for (const TracedCall& c : calls)
        if (c.event == event) all.insert(all.end(), c.bytes.begin(), c.bytes.end());
    return all;
}

}  // namespace rtq::test
