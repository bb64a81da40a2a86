#pragma once
// A USB printer node in front of a ScriptedPrinter, with the faults the
// fuzzer chose: one of the opening steps (find, open, device id, port
// status) refused, counted over the whole run, and a write that finds the
// printer unplugged for some writes or fails outright. Time passes only on
// the active clock. One thread.

#include <cstddef>
#include <cstdint>
#include <string>

#include "ports/usb_backend.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/scripted_printer.h"

namespace rtq::fuzz {

struct UsbFaults {
    int stepFailAt = 0;  // 1-based count of opening steps; 0: none
    int stepFailCount = 0;
    int writeFaultAt = 0;
    bool writeError = false;  // else unplugged
    int unpluggedWrites = 0;
    int readFailAt = 0;

    static UsbFaults Choose(FuzzInput& in);
};

class FuzzUsbBackend : public rtq::IUsbBackend {
public:
    FuzzUsbBackend(ScriptedPrinter& printer, const UsbFaults& faults)
        : m_printer(printer), m_faults(faults) {}

    bool FindDevicePath(std::string* path) override;
    HANDLE Open(const std::string& path) override;
    bool GetDeviceId(HANDLE h) override;
    bool GetPortStatus(HANDLE h) override;
    rtq::UsbWriteStatus Write(HANDLE h, const uint8_t* data, size_t len,
                              size_t* written) override;
    bool WaitReadable(HANDLE h, int64_t timeoutMs) override;
    bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) override;
    void Close(HANDLE h) override;

    bool IsOpen() const { return m_open != INVALID_HANDLE_VALUE; }

private:
    bool Valid(HANDLE h) const { return m_open != INVALID_HANDLE_VALUE && h == m_open; }
    // Counts an opening step; false when the fuzzer refuses it.
    bool StepAllowed();

    ScriptedPrinter& m_printer;
    const UsbFaults m_faults;
    HANDLE m_open = INVALID_HANDLE_VALUE;
    HANDLE m_next = 0x05B0;
    int m_steps = 0;
    int m_writes = 0;
    int m_unplugLeft = 0;
    int m_reads = 0;
};

}  // namespace rtq::fuzz
