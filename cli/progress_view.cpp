#include "cli/progress_view.h"

#include "cli/text_escape.h"

namespace rtq::cli {

int ProgressPercent(int64_t range, int64_t pos) {
    if (range <= 0) return 0;
    const int64_t pct = pos * 100 / range;
    return static_cast<int>(pct < 0 ? 0 : pct > 100 ? 100 : pct);
}

void PlainProgress::Show(const std::string& text, int64_t, int64_t) {
    if (text.empty() || text == m_lastText) return;
    m_lastText = text;
    m_err << EscapeText(text) << '\n';
    m_err.flush();
}

void TerminalProgress::Show(const std::string& text, int64_t range, int64_t pos) {
    if (text.empty()) return;
    const std::string line =
        EscapeText(text) + ' ' + std::to_string(ProgressPercent(range, pos)) + '%';
    if (m_lineOpen && line == m_shown) return;
    m_shown = line;
    // Back to the line's start, and clear what a longer text left there.
    m_err << '\r' << line << "\x1b[K";
    m_err.flush();
    m_lineOpen = true;
}

void TerminalProgress::End() {
    if (!m_lineOpen) return;
    m_err << '\n';
    m_err.flush();
    m_lineOpen = false;
}

}  // namespace rtq::cli
