#pragma once
// The commands of rtqflash-cli. flash and check return the run's result
// code, list the exit status.

#include <ostream>

#include "cli/cli_options.h"
#include "cli/progress_view.h"
#include "dialog/flash_run.h"

namespace rtq::cli {

// Checks the settings and the file as FLASH NOW does, then runs the
// download over the serial or Bluetooth port, its progress shown on view.
// Notes on the settings go to err.
int RunFlash(const CliOptions& options, ProgressView& view, std::ostream& err);

// After the checks of RunFlash: opens the USB printer as FLASH NOW does
// (1038, 1039, 1040, then the data file test when fileRun) and runs the
// plan on a USB send thread, handling the workers' messages on this thread. port
// names the printer (node or serial number); empty: the first that opens.
int RunUsbDownload(const RunPlan& plan, bool fileRun, const std::string& port,
                   ProgressView& view);

// The file checks of FLASH NOW and the sector plan a run would write, on
// out; touches no port.
// *checked names what was found fit (for the result line). A type that
// has no data file gives kCheckNothingToCheck, a usage error.
int RunCheck(const CliOptions& options, std::ostream& out, std::ostream& err,
             std::string* checked);
constexpr int kCheckNothingToCheck = -64;

// The serial ports and USB printers there are, and whether this user may
// open each; as text or (--json) one JSON document on out. Exit status 0.
int RunList(const CliOptions& options, std::ostream& out);

}  // namespace rtq::cli
