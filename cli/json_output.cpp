#include "cli/json_output.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/text_escape.h"

namespace rtq::cli {

namespace {

// Keys in the order a reader expects them, not sorted.
using json = nlohmann::ordered_json;

void WriteLine(std::ostream& out, const json& object) {
    out << object.dump() << '\n';
    out.flush();
}

}  // namespace

bool SectorOfStep(const std::string& text, int* index, int* count) {
    const size_t at = text.find("sector ");
    if (at == std::string::npos) return false;
    int i = 0, n = 0;
    if (std::sscanf(text.c_str() + at, "sector %d of %d", &i, &n) != 2 || i < 1 || n < i)
        return false;
    *index = i;
    *count = n;
    return true;
}

void JsonProgress::Show(const std::string& text, int64_t range, int64_t pos) {
    if (m_any && text == m_text && range == m_range && pos == m_pos) return;
    m_any = true;
    m_text = text;
    m_range = range;
    m_pos = pos;
    json line = {{"event", "progress"},
                 {"step", Utf8OrEscaped(text)},
                 {"position", pos},
                 {"range", range},
                 {"percent", ProgressPercent(range, pos)}};
    int index = 0, count = 0;
    if (SectorOfStep(text, &index, &count)) {
        line["sector"] = index;
        line["sectors"] = count;
    }
    WriteLine(m_out, line);
}

std::string JsonResultLine(const RunSummary& s) {
    // Milliseconds are as fine as the clock the run is measured on.
    const double seconds = std::round(s.elapsedSeconds * 1000.0) / 1000.0;
    json line = {{"event", "result"},
                 {"result", s.result},
                 {"message", Utf8OrEscaped(s.message)},
                 {"exit_status", s.exitStatus},
                 {"elapsed_seconds", seconds}};
    if (!s.hint.empty()) line["hint"] = Utf8OrEscaped(s.hint);
    return line.dump();
}

}  // namespace rtq::cli
