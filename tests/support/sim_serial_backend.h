#pragma once
// A serial backend that serves simulated printers in process: each named
// device is backed by a rtq::sim::SimPrinter. Bytes written go to the
// printer; reads deliver its answers. Time passes only through the active
// clock: an empty read waits the read constant (or until a slow answer is
// released, if that comes first), so on a virtual clock it costs nothing.
// Safe to use from several threads. Writes feed the printer under the
// backend's lock, so a printer observer must not call back into it.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ports/serial_backend.h"
#include "tests/support/fake_serial_backend.h"
#include "sim/sim_printer.h"

namespace rtq::test {

class SimSerialBackend : public rtq::ISerialBackend {
public:
    // One write call.
    struct WriteCall {
        std::string device;
        std::vector<uint8_t> bytes;  // what reached the printer
        size_t requested = 0;
        int64_t atMs = 0;            // active clock at the call
    };
    // One SetState call.
    struct StateCall {
        std::string device;
        DCB dcb;
        int64_t atMs = 0;
    };

    SimSerialBackend() = default;
    // One device.
    SimSerialBackend(const std::string& name, rtq::sim::SimPrinter& printer);
    SimSerialBackend(const SimSerialBackend&) = delete;
    SimSerialBackend& operator=(const SimSerialBackend&) = delete;

    // Serves a device under a name ("COM17", a device path, ...). Open
    // accepts the name itself or with the "\\.\" prefix. The printer is not
    // owned and must outlive the backend's use.
    void AddDevice(const std::string& name, rtq::sim::SimPrinter& printer);

    // ISerialBackend. Exclusive: a second Open of an open device fails.
    // Calls on a handle that is not open fail; Close ignores it.
    HANDLE Open(const std::string& name) override;
    bool GetState(HANDLE h, DCB* dcb) override;
    bool SetState(HANDLE h, const DCB& dcb) override;
    bool GetTimeouts(HANDLE h, COMMTIMEOUTS* t) override;
    bool SetTimeouts(HANDLE h, const COMMTIMEOUTS& t) override;
    // Feeds every byte to the printer and reports them all written; while
    // the printer holds DSR low, waits the write time-out and writes none.
    bool Write(HANDLE h, const uint8_t* data, size_t len,
               size_t* written) override;
    bool Read(HANDLE h, uint8_t* buf, size_t len, size_t* got) override;
    // Drops the printer's answer bytes that have arrived.
    bool PurgeInput(HANDLE h) override;
    void Close(HANDLE h) override;

    // --- Failures ---------------------------------------------------------
    void SetOpenFails(bool fail);
    void SetWriteFails(bool fail);  // every write call fails
    void SetReadFails(bool fail);   // every read call fails (a hang-up)

    // --- Records ----------------------------------------------------------
    std::vector<WriteCall> Writes() const;
    // Every byte that reached a printer, in order.
    std::vector<uint8_t> WrittenBytes() const;
    std::vector<StateCall> States() const;
    COMMTIMEOUTS LastTimeouts() const;
    // Names given to successful opens, in order.
    std::vector<std::string> Opens() const;
    int OpenCount() const;
    int CloseCount() const;
    int PurgeCount() const;
    int ReadCalls() const;
    bool IsOpen(const std::string& name) const;
    void ClearRecords();

private:
    struct Device {
        rtq::sim::SimPrinter* printer = nullptr;
        HANDLE handle = INVALID_HANDLE_VALUE;
        DCB dcb;
        COMMTIMEOUTS timeouts;
    };

    Device* FindLocked(HANDLE h);
    const std::string* NameLocked(HANDLE h) const;

    mutable std::mutex m_mutex;
    std::condition_variable m_written;  // a write reached a printer
    uint64_t m_writeSeq = 0;
    std::map<std::string, Device> m_devices;
    HANDLE m_nextHandle = 0x5100;
    bool m_openFails = false;
    bool m_writeFails = false;
    bool m_readFails = false;

    std::vector<WriteCall> m_writes;
    std::vector<StateCall> m_states;
    COMMTIMEOUTS m_lastTimeouts;
    std::vector<std::string> m_opens;
    int m_closeCount = 0;
    int m_purgeCount = 0;
    int m_readCalls = 0;
};

// The same installer serves the simulated printer.
using ScopedSimSerialBackend = ScopedSerialBackend;

// The line settings a DCB describes, as the printer records them.
rtq::sim::LineSettings LineFromDcb(const DCB& dcb);

}  // namespace rtq::test
