#pragma once
// Maps the --type text to a download type of the built-in model table.

#include <cstdint>
#include <string>

#include "engine/model_table.h"

namespace rtq::cli {

struct DownloadType {
    std::string displayName;
    DownloadKind kind = DownloadKind::None;
    int32_t firstSector = 0;
};

// A display name of the table (without regard to case) or one of the
// short names main, ipl, font, pin, name. Over Bluetooth the IPL cannot be
// written, as the dialog offers no IPL there. 1 or 1012 (also for a table
// that cannot be read).
int ResolveDownloadType(const std::string& text, bool bluetooth, DownloadType* out);

}  // namespace rtq::cli
