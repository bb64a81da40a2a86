#pragma once
// What one link run downloads, chosen by the fuzzer, and the checks every
// run must pass whatever the printer answered.

#include <string>
#include <vector>

#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/sample_files.h"
#include "tests/fuzz/scripted_printer.h"

namespace rtq::fuzz {

struct RunChoice {
    const SampleFile* file = nullptr;  // null for a setting
    bool pinCode = false;
    bool friendlyName = false;
    std::string setting;  // the PIN code or friendly name
};

// A file run (a one-sector font by default) or a setting with a text the
// settings check would let through.
RunChoice ChooseRun(FuzzInput& in);

// Puts the run's settings where the engine reads them, and clears every
// piece of process-wide state an earlier run may have left.
void PrepareGlobals(const RunChoice& run, bool usb);
void ClearGlobals();

// The codes a serial or a USB run may end with.
bool IsSerialRunResult(int code);
bool IsUsbRunResult(int code);

// Empty when what reached the printer bears a success out: every sector
// of the plan received the file's bytes and its checksum answer, as the
// host read it, equalled the CRC of what was sent (IPL sector 5 has none);
// a setting reached the printer intact; the run ended with a reset.
// Otherwise says what is missing.
std::string UnfoundedSuccess(const RunChoice& run, const std::vector<Command>& commands);

// With RTQ_FUZZ_VERBOSE set, prints the result and the commands the
// printer saw with the answer bytes the host took: for reading a finding.
void DescribeRun(int result, const std::vector<Command>& commands);

// Threads of this process.
int ThreadCount();

}  // namespace rtq::fuzz
