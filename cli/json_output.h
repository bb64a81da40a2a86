#pragma once
// Machine-readable runs: JSON Lines on stdout, one object per progress
// change and a closing object with the result.

#include <cstdint>
#include <ostream>
#include <string>

#include "cli/progress_view.h"

namespace rtq::cli {

// {"event":"progress","step":TEXT,"position":P,"range":R,"percent":N}
// and, while a sector is being worked on, "sector":I,"sectors":N.
class JsonProgress final : public ProgressView {
public:
    explicit JsonProgress(std::ostream& out) : m_out(out) {}
    void Show(const std::string& text, int64_t range, int64_t pos) override;

private:
    std::ostream& m_out;
    bool m_any = false;
    std::string m_text;
    int64_t m_range = 0;
    int64_t m_pos = 0;
};

// The sector i of n named by a step text ("... sector 2 of 5..."); false
// for steps that name none.
bool SectorOfStep(const std::string& text, int* index, int* count);

struct RunSummary {
    int result = 0;
    std::string message;  // the result's exact message; empty if it has none
    std::string hint;     // what is known of the cause; empty if nothing
    int exitStatus = 0;
    double elapsedSeconds = 0;
};

// {"event":"result","result":CODE,"message":TEXT,"exit_status":S,
//  "elapsed_seconds":T[,"hint":TEXT]} as one line.
std::string JsonResultLine(const RunSummary& summary);

}  // namespace rtq::cli
