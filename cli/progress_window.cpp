#include "cli/progress_window.h"

#include "engine/progress_info.h"
#include "platform/messages.h"

namespace rtq::cli {

namespace {

int Percent(int64_t range, int64_t pos) {
    if (range <= 0) return 0;
    const int64_t pct = pos * 100 / range;
    return static_cast<int>(pct < 0 ? 0 : pct > 100 ? 100 : pct);
}

}  // namespace

CliProgressWindow::CliProgressWindow(std::ostream& err, bool terminal, bool bluetooth)
    : m_err(err), m_terminal(terminal), m_bluetooth(bluetooth) {}

LRESULT CliProgressWindow::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_OPEN_PROGRESS:
            m_cancelAllowed = wParam == 1;
            return 1;
        case WM_UPDATE_PROGRESS:
            if (lParam != 0) {
                const ProgressInfo* info = reinterpret_cast<const ProgressInfo*>(lParam);
                ShowStep(info->m_strText, info->m_nRange, info->m_nPos);
            }
            return 1;
        case WM_SET_PROGRESS_RANGE:
            ShowPercent(static_cast<int64_t>(wParam), static_cast<int64_t>(lParam));
            return 1;
        case WM_DISABLE_CANCEL:
            m_cancelAllowed = false;
            return 1;
        case WM_CLOSE_PROGRESS:
            m_cancelAllowed = false;
            EndLine();
            return 1;
        default:
            return 0;
    }
}

void CliProgressWindow::PostMessage(UINT, WPARAM, LPARAM) {}

void CliProgressWindow::ShowStep(const std::string& text, int64_t range, int64_t pos) {
    if (text != m_lastText) {
        EndLine();
        m_lastText = text;
        m_lastPercent = -1;
        if (!m_terminal) {
            m_err << text << '\n';
            m_err.flush();
            return;
        }
    }
    ShowPercent(range, pos);
}

void CliProgressWindow::ShowPercent(int64_t range, int64_t pos) {
    if (!m_terminal || m_lastText.empty()) return;
    const int pct = Percent(range, pos);
    if (m_lineOpen && pct == m_lastPercent) return;
    m_lastPercent = pct;
    // Rewrite the step's line in place, clearing what a longer one left.
    m_err << '\r' << m_lastText << ' ' << pct << "%\x1b[K";
    m_err.flush();
    m_lineOpen = true;
}

void CliProgressWindow::EndLine() {
    if (!m_lineOpen) return;
    m_err << '\n';
    m_err.flush();
    m_lineOpen = false;
}

}  // namespace rtq::cli
