#pragma once
// A serial line to a ScriptedPrinter, with the line faults the fuzzer
// chose: opens refused, a write call that fails, writes nothing (DSR held
// low) or writes only a part, a read call that fails (a hang-up), and line
// settings refused. Time passes only on the active clock. One thread.

#include <cstddef>
#include <cstdint>
#include <string>

#include "ports/serial_backend.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/scripted_printer.h"

namespace rtq::fuzz {

struct SerialFaults {
    int openFailAt = 0;  // 1-based call number; 0: none
    int openFailCount = 0;
    int writeFaultAt = 0;
    int writeFaultKind = 0;  // 0 fails, 1 writes nothing, 2 writes a part
    size_t writePart = 0;
    int readFailAt = 0;
    int setStateFailAt = 0;

    static SerialFaults Choose(FuzzInput& in);
};

class FuzzSerialBackend : public rtq::ISerialBackend {
public:
    FuzzSerialBackend(ScriptedPrinter& printer, const SerialFaults& faults)
        : m_printer(printer), m_faults(faults) {}

    HANDLE Open(const std::string& name) override;
    bool GetState(HANDLE h, DCB* dcb) override;
    bool SetState(HANDLE h, const DCB& dcb) override;
    bool GetTimeouts(HANDLE h, COMMTIMEOUTS* t) override;
    bool SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) override;
    bool Write(HANDLE h, const uint8_t* data, size_t len, size_t* written) override;
    bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) override;
    bool PurgeInput(HANDLE h) override;
    void Close(HANDLE h) override;

    bool IsOpen() const { return m_open != INVALID_HANDLE_VALUE; }

private:
    bool Valid(HANDLE h) const { return m_open != INVALID_HANDLE_VALUE && h == m_open; }

    ScriptedPrinter& m_printer;
    const SerialFaults m_faults;
    HANDLE m_open = INVALID_HANDLE_VALUE;
    HANDLE m_next = 0x5E10;
    DCB m_dcb;
    COMMTIMEOUTS m_timeouts;
    int m_opens = 0;
    int m_writes = 0;
    int m_reads = 0;
    int m_setStates = 0;
};

}  // namespace rtq::fuzz
