#pragma once
// The two commands of rtqflash-cli. Each returns the run's result code.

#include <ostream>

#include "cli/cli_options.h"

namespace rtq::cli {

// Checks the settings and the file as FLASH NOW does, then runs the
// download over the serial or Bluetooth port. Progress goes to err.
int RunFlash(const CliOptions& options, std::ostream& err, bool errIsTerminal);

struct DownloadType;
// After the checks of RunFlash: opens the USB printer as FLASH NOW does
// (1038, 1039, 1040, then the data file test) and runs the download on a
// USB send thread, handling the workers' messages on this thread.
int RunUsbDownload(const std::string& file, const DownloadType& type, std::ostream& err,
                   bool errIsTerminal);

// The file checks of FLASH NOW and the sector plan a run would write, on
// out; touches no port.
int RunCheck(const CliOptions& options, std::ostream& out, std::ostream& err);

}  // namespace rtq::cli
