#pragma once
// How a command-line run shows its progress: every update of the step
// text and the bar reaches Show; each view decides what to print.

#include <cstdint>
#include <ostream>
#include <string>

namespace rtq::cli {

class ProgressView {
public:
    virtual ~ProgressView() = default;
    // The step's text, and the bar's range and position within the step.
    virtual void Show(const std::string& text, int64_t range, int64_t pos) = 0;
    // The progress is over (or gives way to other output): ends a line
    // still open.
    virtual void End() {}
};

// The bar's position in percent, 0..100.
int ProgressPercent(int64_t range, int64_t pos);

// Each new step text as a line of its own: for logs and pipes.
class PlainProgress final : public ProgressView {
public:
    explicit PlainProgress(std::ostream& err) : m_err(err) {}
    void Show(const std::string& text, int64_t range, int64_t pos) override;

private:
    std::ostream& m_err;
    std::string m_lastText;
};

// One line on a terminal, redrawn in place with the step and its percent.
class TerminalProgress final : public ProgressView {
public:
    explicit TerminalProgress(std::ostream& err) : m_err(err) {}
    void Show(const std::string& text, int64_t range, int64_t pos) override;
    void End() override;

private:
    std::ostream& m_err;
    std::string m_shown;  // what the line holds now
    bool m_lineOpen = false;
};

// --quiet: nothing.
class SilentProgress final : public ProgressView {
public:
    void Show(const std::string&, int64_t, int64_t) override {}
};

}  // namespace rtq::cli
