#pragma once
// A serial or Bluetooth run against the in-process simulated printer on
// the virtual clock: the printer behind "COM5", a recording notify window
// and a folder for the data files.

#include <memory>
#include <string>
#include <vector>

#include "engine/flash_downloader.h"
#include "platform/clock.h"
#include "sim/sim_printer.h"
#include "tests/engine/temp_files.h"
#include "tests/support/recording_notify_window.h"
#include "tests/support/sim_serial_backend.h"

namespace rtq::test {

struct RunArgs {
    std::string path;
    int32_t firstSector = 6;
    bool main = false;
    bool ipl = false;
    bool pin = false;
    bool name = false;
};

class SerialBench {
public:
    explicit SerialBench(rtq::sim::SimConfig config = {});
    ~SerialBench();

    // Opens the port, checks the file and downloads, as the serial worker
    // does; leaves Finish to the caller.
    int Download(const RunArgs& args);
    // Download and Finish.
    int Run(const RunArgs& args);

    // The step texts in the order they first appeared (repeats of the same
    // text in a row folded).
    std::vector<std::string> StepTexts() const;
    // Active-clock time of the first progress record with that text (its
    // message index in *index); -1 when there is none.
    int64_t TimeOfText(const std::string& text, size_t* index = nullptr) const;

    rtq::VirtualClock clock;
    rtq::ScopedClock scopedClock{clock};
    rtq::sim::SimPrinter printer;
    SimSerialBackend backend;
    ScopedSimSerialBackend scopedBackend{backend};
    RecordingNotifyWindow window;
    TempFolder dir;
    SerialPortSettings serial{"\\\\.\\COM5", 9600, "NONE", 1};
    std::unique_ptr<CFlashDownloader> downloader = std::make_unique<CFlashDownloader>();
};

}  // namespace rtq::test
