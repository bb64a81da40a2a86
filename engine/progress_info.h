#pragma once
// The progress record whose address travels in WM_UPDATE_PROGRESS.

#include <cstdint>
#include <string>

struct ProgressInfo {
    std::string m_strText;
    int32_t m_nRange = 0;
    int32_t m_nPos = 0;
    int32_t m_nStep = 0;
};
